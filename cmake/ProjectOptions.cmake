# Compiler warnings and the optional sanitizer and fuzzer instrumentation,
# applied to every target of the project.
# Beyond -Wall -Wextra, the mistakes a C++ class hierarchy invites: a local
# hiding a member, a base without a virtual destructor, C casts that hide
# what they convert, an override that hides the base's other overloads.
# CI builds with KT64_WERROR, so none of them comes back unnoticed.
option(KT64_WERROR "Treat compiler warnings as errors (CI)" OFF)
add_compile_options(-Wall -Wextra
                    $<$<COMPILE_LANGUAGE:CXX>:-Wshadow>
                    $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor>
                    $<$<COMPILE_LANGUAGE:CXX>:-Wold-style-cast>
                    $<$<COMPILE_LANGUAGE:CXX>:-Woverloaded-virtual>)
if(KT64_WERROR)
  add_compile_options(-Werror)
endif()

if(KT64_SANITIZE AND KT64_TSAN)
  message(FATAL_ERROR "KT64_SANITIZE and KT64_TSAN exclude each other: one build folder for each")
endif()
if(KT64_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(KT64_TSAN)
  # Third-party header code is left uninstrumented, as their libraries are
  # (see the list). The list's hash stands on the command line so that the
  # compiler cache, which does not read the list, sees it change.
  set(tsan_ignorelist ${PROJECT_SOURCE_DIR}/cmake/tsan-ignorelist.txt)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${tsan_ignorelist})
  file(SHA256 ${tsan_ignorelist} tsan_ignorelist_hash)
  string(SUBSTRING ${tsan_ignorelist_hash} 0 16 tsan_ignorelist_hash)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer -fsanitize-ignorelist=${tsan_ignorelist}
                      -DKT64_TSAN_IGNORELIST=${tsan_ignorelist_hash})
  add_link_options(-fsanitize=thread)
endif()

if(KT64_FUZZ AND NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "KT64_FUZZ needs clang (libFuzzer)")
endif()
