# Compiler settings shared by every project target (never applied to third-party code).

function(vornakel_project_target target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /permissive- /utf-8)
    if(VORNAKEL_WERROR)
      target_compile_options(${target} PRIVATE /WX)
    endif()
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Wpedantic)
    if(VORNAKEL_WERROR)
      target_compile_options(${target} PRIVATE -Werror)
    endif()
  endif()
  if(WIN32)
    target_compile_definitions(${target} PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                                                 _WIN32_WINNT=0x0A00 WINVER=0x0A00)
  endif()
endfunction()

if(VORNAKEL_SANITIZE AND NOT MSVC)
  add_compile_options(-fsanitize=${VORNAKEL_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${VORNAKEL_SANITIZE})
endif()

if(VORNAKEL_BUILD_FUZZERS AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  # The fuzzers link the same unit libraries as the sanitizer tests: without coverage in them,
  # libFuzzer would be guided by the targets' own branches only, never by the rules under test.
  # The sanitizer runtime answers the coverage hooks in the test programs.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

if(MINGW)
  # One self-contained executable: no libstdc++, libgcc or winpthread DLL next to it.
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()

# Registers a GoogleTest executable with CTest. Cross-built tests run through the emulator (Wine).
function(vornakel_add_gtest target)
  vornakel_project_target(${target})
  target_link_libraries(${target} PRIVATE GTest::gtest GTest::gmock GTest::gtest_main)
  if(CMAKE_CROSSCOMPILING)
    gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                         PROPERTIES FIXTURES_REQUIRED wine_prefix)
  else()
    gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60)
  endif()
endfunction()

# Copies a finished program into dist/<subdir>/ after every build.
function(vornakel_copy_to_dist target subdir)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory "${VORNAKEL_DIST_DIR}/${subdir}"
    COMMAND ${CMAKE_COMMAND} -E copy_if_different "$<TARGET_FILE:${target}>" "${VORNAKEL_DIST_DIR}/${subdir}/"
    VERBATIM)
endfunction()
