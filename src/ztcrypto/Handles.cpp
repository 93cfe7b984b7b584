#include "ztcrypto/Handles.h"

#include <mutex>
#include <unordered_map>

#include "core/Format.h"
#include "ztcrypto/Boundary.h"
#include "ztcrypto/Texts.h"

namespace brelo::ztcrypto {

namespace {

struct TRegistry {
    std::mutex Lock;
    std::unordered_map<const void*, std::unique_ptr<THandle>> Live;
};

TRegistry& Registry() {
    static TRegistry* registry = new TRegistry;  // outlives every static destructor
    return *registry;
}

[[noreturn]] void Invalid(const char* exportName, const char* argName) {
    throw EInvalidHandle(Format(ZtText::InvalidHandle, {exportName, argName}));
}

THandle* Find(const void* p, const char* exportName, const char* argName) {
    TRegistry& r = Registry();
    std::lock_guard lock(r.Lock);
    auto it = p ? r.Live.find(p) : r.Live.end();
    if (it == r.Live.end()) Invalid(exportName, argName);
    return it->second.get();
}

std::unique_ptr<THandle> Take(const void* p) {
    TRegistry& r = Registry();
    std::lock_guard lock(r.Lock);
    auto it = r.Live.find(p);
    if (it == r.Live.end()) return nullptr;
    auto handle = std::move(it->second);
    r.Live.erase(it);
    return handle;
}

/// The borrowed subject handle a certificate or request holds, if any.
const void* SubjectOf(THandle& handle) {
    if (handle.Kind == HandleKind::Cert) return static_cast<ZtCert&>(handle).Subject;
    if (handle.Kind == HandleKind::Request) return static_cast<ZtRequest&>(handle).Subject;
    return nullptr;
}

}  // namespace

THandle* AdoptHandle(std::unique_ptr<THandle> handle) {
    TRegistry& r = Registry();
    std::lock_guard lock(r.Lock);
    THandle* raw = handle.get();
    r.Live.emplace(raw, std::move(handle));
    return raw;
}

THandle& LookupHandle(const void* p, HandleKind kind, const char* exportName, const char* argName) {
    THandle* handle = Find(p, exportName, argName);
    if (handle->Kind != kind) Invalid(exportName, argName);
    return *handle;
}

ZtName& LookupAnyName(const void* p, const char* exportName, const char* argName) {
    THandle* handle = Find(p, exportName, argName);
    if (handle->Kind != HandleKind::Name && handle->Kind != HandleKind::BorrowedName) {
        Invalid(exportName, argName);
    }
    return static_cast<ZtName&>(*handle);
}

void ReleaseHandle(const void* p, HandleKind kind, const char* exportName) {
    THandle& handle = LookupHandle(p, kind, exportName, "handle");
    if (const void* subject = SubjectOf(handle)) Take(subject);
    Take(p);
}

const ZtName* BorrowSubject(ZtName*& slot, X509_NAME* name) {
    if (!slot) slot = Adopt(std::make_unique<ZtName>(name));
    return slot;
}

}  // namespace brelo::ztcrypto

namespace brelo::ztcrypto {
bool IsLive(const void* p, HandleKind kind) {
    TRegistry& r = Registry();
    std::lock_guard lock(r.Lock);
    auto it = p ? r.Live.find(p) : r.Live.end();
    return it != r.Live.end() && it->second->Kind == kind;
}
}  // namespace brelo::ztcrypto
