// Streams for the ztcrypto fuzz targets: a read-only stream over the input and a sink.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "ztcrypto/ztcrypto.h"

namespace ztfuzz {

struct TInput {
    const std::uint8_t* Data;
    std::int64_t Size, Position = 0;
};

inline ZtStream InputStream(TInput& input) {
    ZtStream s{};
    s.context = &input;
    s.read = [](void* c, void* buffer, std::int64_t count) -> std::int64_t {
        auto* in = static_cast<TInput*>(c);
        const std::int64_t n = std::min(count, in->Size - in->Position);
        if (n > 0) std::memcpy(buffer, in->Data + in->Position, static_cast<std::size_t>(n));
        in->Position += std::max<std::int64_t>(n, 0);
        return std::max<std::int64_t>(n, 0);
    };
    s.write = [](void*, const void*, std::int64_t) -> std::int64_t { return -1; };
    s.seek = [](void* c, std::int64_t offset, int origin) -> std::int64_t {
        auto* in = static_cast<TInput*>(c);
        const std::int64_t base = origin == ZT_SEEK_SET ? 0 : origin == ZT_SEEK_CUR ? in->Position : in->Size;
        if (base + offset < 0) return -1;
        return in->Position = base + offset;
    };
    s.size = [](void* c) -> std::int64_t { return static_cast<TInput*>(c)->Size; };
    s.position = [](void* c) -> std::int64_t { return static_cast<TInput*>(c)->Position; };
    return s;
}

/// A stream that counts what is written and keeps nothing.
struct TSink {
    std::int64_t Written = 0;
};

inline ZtStream SinkStream(TSink& sink) {
    ZtStream s{};
    s.context = &sink;
    s.read = [](void*, void*, std::int64_t) -> std::int64_t { return 0; };
    s.write = [](void* c, const void*, std::int64_t count) -> std::int64_t {
        static_cast<TSink*>(c)->Written += count;
        return count;
    };
    s.seek = [](void* c, std::int64_t, int) -> std::int64_t { return static_cast<TSink*>(c)->Written; };
    s.size = [](void* c) -> std::int64_t { return static_cast<TSink*>(c)->Written; };
    s.position = [](void* c) -> std::int64_t { return static_cast<TSink*>(c)->Written; };
    return s;
}

}  // namespace ztfuzz
