#pragma once
// Byte strings: file contents, keys, certificates, logins move between layers as these.
// Any byte is allowed; texts the customer types are UTF-8 inside the program.

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace brelo {

using ByteString = std::string;

/// Overwrites memory so that a secret does not outlive its buffer (not optimised away).
void SecureWipe(void* data, std::size_t size) noexcept;

/// Allocator that wipes every block before it is returned to the heap.
template <typename T>
struct WipingAllocator {
    using value_type = T;
    WipingAllocator() noexcept = default;
    template <typename U>
    WipingAllocator(const WipingAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) { return std::allocator<T>{}.allocate(n); }
    void deallocate(T* p, std::size_t n) noexcept {
        SecureWipe(p, n * sizeof(T));
        std::allocator<T>{}.deallocate(p, n);
    }
    template <typename U>
    bool operator==(const WipingAllocator<U>&) const noexcept { return true; }
};

/// Passwords, derived PINs and decrypted key bytes. Short strings live inside the object
/// (small-string buffer), so the destructor wipes that too.
class SecureString : public std::basic_string<char, std::char_traits<char>, WipingAllocator<char>> {
    using Base = std::basic_string<char, std::char_traits<char>, WipingAllocator<char>>;

public:
    using Base::Base;
    SecureString() = default;
    SecureString(const std::string& s) : Base(s.data(), s.size()) {}
    SecureString(const SecureString&) = default;
    SecureString(SecureString&&) = default;
    SecureString& operator=(const SecureString&) = default;
    SecureString& operator=(SecureString&&) = default;
    ~SecureString() { SecureWipe(Base::data(), Base::capacity()); }
    /// A plain copy, for APIs that take std::string; wipe it (WipeString) when done.
    std::string str() const { return std::string(data(), size()); }
};

/// Wipes a plain string's contents in place and empties it.
void WipeString(std::string& s) noexcept;

using SecureBytes = std::vector<unsigned char, WipingAllocator<unsigned char>>;

}  // namespace brelo
