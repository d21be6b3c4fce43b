// Whether this build runs under AddressSanitizer, which reserves terabytes of address space (so a
// limit on the address space cannot apply) and ends the program where an allocation fails
// instead of throwing std::bad_alloc (so the programs' answer to running out cannot be seen).
#pragma once

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
inline constexpr bool kAddressSanitizer = __has_feature(address_sanitizer);
#else
inline constexpr bool kAddressSanitizer = false;
#endif
