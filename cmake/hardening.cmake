# Debian's hardening flags (dpkg-buildflags with hardening=+all) for the optimised builds, so
# that scripts/build and the package hold the same code: fortified libc calls, stack
# protectors, format checks, a read-only relocation table bound at start, and a PIE.
# KAVEL_HARDEN=OFF builds without them (to compare speed). Left out of the sanitizer and fuzz
# builds: _FORTIFY_SOURCE's checked functions get in AddressSanitizer's way.
option(KAVEL_HARDEN "Build Release and RelWithDebInfo with Debian's hardening flags" ON)
if(KAVEL_HARDEN AND NOT KAVEL_SANITIZE AND NOT KAVEL_TSAN AND NOT KAVEL_FUZZ
   AND CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo)$")
  include(CheckPIESupported)
  check_pie_supported()
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
  # -U first: some compilers define their own level.
  add_compile_options(-U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=2 -fstack-protector-strong
                      -Wformat -Werror=format-security)
  add_link_options(-Wl,-z,relro -Wl,-z,now)
endif()
