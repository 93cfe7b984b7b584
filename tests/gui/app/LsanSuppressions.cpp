// Leak reports the GUI tests must not fail on: fontconfig keeps its caches for the life of the
// process by design, and Qt never asks it to let go.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
