#include "support.h"

#include <dlfcn.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>

struct ZtApi zt;
int checks_passed, checks_failed;
char work_dir[256];

int load_library(const char* path) {
    void* lib = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        fprintf(stderr, "dlopen %s: %s\n", path, dlerror());
        return -1;
    }
#define ZT_RESOLVE(name)                                                  \
    *(void**)(&zt.name) = dlsym(lib, #name);                              \
    if (!zt.name) {                                                       \
        fprintf(stderr, "missing export %s\n", #name);                    \
        return -1;                                                        \
    }
    ZT_EXPORTS(ZT_RESOLVE)
#undef ZT_RESOLVE
    return 0;
}

int check_at(int ok, const char* file, int line, const char* what) {
    if (ok) {
        checks_passed++;
    } else {
        checks_failed++;
        fprintf(stderr, "FAILED %s:%d: %s\n", file, line, what);
    }
    return ok;
}

int check_rc_at(int rc, int expected, const char* file, int line, const char* what) {
    if (rc == expected) return check_at(1, file, line, what);
    fprintf(stderr, "FAILED %s:%d: %s gave %d, expected %d (last error: %s)\n", file, line, what, rc,
            expected, last_message());
    checks_failed++;
    return 0;
}

const char* last_message(void) {
    static char text[4096];
    int32_t size = sizeof text;
    if (zt.ZtGetLastErrorMessage(text, &size) != ZT_OK) strcpy(text, "<none>");
    return text;
}

const char* last_description(void) {
    static char text[8192];
    uint32_t size = sizeof text;
    if (zt.DescribeOpenSSLError(text, &size) != ZT_OK || size == 0) text[0] = '\0';
    return text;
}

int contains(const char* text, const char* part) { return text && strstr(text, part) != NULL; }

const char* path_of(const char* name) {
    static char paths[8][512];
    static int next;
    char* p = paths[next++ % 8];
    snprintf(p, sizeof paths[0], "%s/%s", work_dir, name);
    return p;
}

int write_file(const char* path, const void* data, size_t size) {
    FILE* f = fopen(path, "wb");
    if (!f) return -1;
    size_t written = fwrite(data, 1, size, f);
    return fclose(f) == 0 && written == size ? 0 : -1;
}

unsigned char* read_file(const char* path, size_t* size) {
    FILE* f = fopen(path, "rb");
    if (!f) return NULL;
    unsigned char* data = NULL;
    size_t used = 0, capacity = 0, n;
    unsigned char chunk[65536];
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) {
        if (used + n > capacity) {
            capacity = (used + n) * 2;
            data = realloc(data, capacity);
        }
        memcpy(data + used, chunk, n);
        used += n;
    }
    fclose(f);
    if (!data) data = malloc(1);
    *size = used;
    return data;
}

int run(const char* format, ...) {
    char command[4096];
    int n = snprintf(command, sizeof command, "cd '%s' && ", work_dir);
    va_list args;
    va_start(args, format);
    vsnprintf(command + n, sizeof command - (size_t)n, format, args);
    va_end(args);
    int status = system(command);
    return status == -1 ? -1 : WEXITSTATUS(status);
}

static int64_t mem_read(void* context, void* buffer, int64_t count) {
    MemStream* m = context;
    if (m->fail_read) return -1;
    int64_t n = m->size - m->position;
    if (n > count) n = count;
    if (n <= 0) return 0;
    memcpy(buffer, m->data + m->position, (size_t)n);
    m->position += n;
    return n;
}

static int64_t mem_write(void* context, const void* buffer, int64_t count) {
    MemStream* m = context;
    if (m->fail_write) return -1;
    if (m->position + count > m->capacity) {
        m->capacity = (m->position + count) * 2;
        m->data = realloc(m->data, (size_t)m->capacity);
    }
    memcpy(m->data + m->position, buffer, (size_t)count);
    m->position += count;
    if (m->position > m->size) m->size = m->position;
    return count;
}

static int64_t mem_seek(void* context, int64_t offset, int origin) {
    MemStream* m = context;
    int64_t base = origin == ZT_SEEK_SET ? 0 : origin == ZT_SEEK_CUR ? m->position : m->size;
    if (base + offset < 0) return -1;
    m->position = base + offset;
    return m->position;
}

static int64_t mem_size(void* context) { return ((MemStream*)context)->size; }
static int64_t mem_position(void* context) { return ((MemStream*)context)->position; }

void mem_init(MemStream* m, const void* data, size_t size) {
    memset(m, 0, sizeof *m);
    m->data = malloc(size ? size : 1);
    if (size) memcpy(m->data, data, size);
    m->size = m->capacity = (int64_t)size;
    ZtStream s = {m, mem_read, mem_write, mem_seek, mem_size, mem_position};
    m->stream = s;
}

void mem_free(MemStream* m) {
    free(m->data);
    m->data = NULL;
}

int mem_save(const MemStream* m, const char* path) { return write_file(path, m->data, (size_t)m->size); }

int mem_load(MemStream* m, const char* path) {
    size_t size = 0;
    unsigned char* data = read_file(path, &size);
    if (!data) return -1;
    mem_init(m, data, size);
    free(data);
    return 0;
}
