#!/bin/sh
# Installs the ztcrypto component into a scratch prefix and builds a C program against it with
# pkg-config only, as a client would; the program runs against the installed soname.
set -eu
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --component ztcrypto --prefix "$prefix" >/dev/null
pc=$(find "$prefix" -name ztcrypto.pc)
test -n "$pc" || { echo "ztcrypto.pc not installed"; exit 1; }
libdir=$(dirname "$(dirname "$pc")")
test -L "$libdir/libztcrypto.so" && test -e "$libdir/libztcrypto.so.1" || { echo "soname links missing"; exit 1; }
export PKG_CONFIG_PATH="$(dirname "$pc")"
cat > "$prefix/client.c" <<'SRC'
#include <stdio.h>
#include <ztcrypto.h>
int main(void) {
    int32_t count = -1;
    ZtName* name = NULL;
    if (CreateDistinguishedName(&name) != ZT_OK || GetDistinguishedNameEntryCount(name, &count) != ZT_OK) return 1;
    FreeDistinguishedName(name);
    printf("%d %d\n", ZtGetVersion(), count);
    return count == 0 ? 0 : 1;
}
SRC
cc -std=c99 -Wall -Werror $(pkg-config --cflags ztcrypto) "$prefix/client.c" -o "$prefix/client" $(pkg-config --libs ztcrypto)
objdump -p "$prefix/client" | grep -q 'NEEDED *libztcrypto.so.1' || { echo "client does not need the soname"; exit 1; }
LD_LIBRARY_PATH="$libdir" "$prefix/client"
