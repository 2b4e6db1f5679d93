# Locates the third-party libraries. On Linux they come from Debian's packages; for MinGW from the
# prefix that scripts/build_mingw_deps.sh fills (passed as CMAKE_PREFIX_PATH by the preset); on
# Windows with MSVC from the vcpkg manifest.

find_package(nlohmann_json 3.10 CONFIG REQUIRED)

# libsodium: Debian and our MinGW build install no CMake package; vcpkg installs "unofficial-sodium".
find_package(unofficial-sodium CONFIG QUIET)
if(TARGET unofficial-sodium::sodium)
  add_library(vornakel_sodium INTERFACE)
  target_link_libraries(vornakel_sodium INTERFACE unofficial-sodium::sodium)
else()
  find_path(SODIUM_INCLUDE_DIR sodium.h REQUIRED)
  if(MINGW)
    find_library(SODIUM_LIBRARY NAMES libsodium.a sodium REQUIRED)
  else()
    find_library(SODIUM_LIBRARY NAMES sodium REQUIRED)
  endif()
  add_library(vornakel_sodium INTERFACE)
  target_include_directories(vornakel_sodium SYSTEM INTERFACE "${SODIUM_INCLUDE_DIR}")
  target_link_libraries(vornakel_sodium INTERFACE "${SODIUM_LIBRARY}")
  if(WIN32)
    target_compile_definitions(vornakel_sodium INTERFACE SODIUM_STATIC)
    target_link_libraries(vornakel_sodium INTERFACE advapi32)
  endif()
endif()
add_library(vornakel::sodium ALIAS vornakel_sodium)

# nanopb: the runtime is compiled here from the unpacked source package, with UTF-8 validation of
# string fields switched on (Debian's prebuilt library has it off).
if(VORNAKEL_NANOPB_SOURCE_DIR)
  add_library(vornakel_nanopb STATIC
    "${VORNAKEL_NANOPB_SOURCE_DIR}/pb_common.c"
    "${VORNAKEL_NANOPB_SOURCE_DIR}/pb_decode.c"
    "${VORNAKEL_NANOPB_SOURCE_DIR}/pb_encode.c")
  target_include_directories(vornakel_nanopb SYSTEM PUBLIC "${VORNAKEL_NANOPB_SOURCE_DIR}")
  target_compile_definitions(vornakel_nanopb PUBLIC PB_VALIDATE_UTF8)
  set_target_properties(vornakel_nanopb PROPERTIES POSITION_INDEPENDENT_CODE ON)
  # Debian's generator runs under the system interpreter, which has google.protobuf.
  find_program(VORNAKEL_NANOPB_GENERATOR nanopb_generator.py
    PATHS /usr/bin "${VORNAKEL_NANOPB_SOURCE_DIR}/generator" NO_DEFAULT_PATH)
  find_program(VORNAKEL_SYSTEM_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH)
  set(VORNAKEL_NANOPB_GENERATOR_COMMAND "${VORNAKEL_SYSTEM_PYTHON}" "${VORNAKEL_NANOPB_GENERATOR}")
else()
  find_package(nanopb CONFIG REQUIRED)
  add_library(vornakel_nanopb INTERFACE)
  target_link_libraries(vornakel_nanopb INTERFACE nanopb::protobuf-nanopb-static)
  target_compile_definitions(vornakel_nanopb INTERFACE PB_VALIDATE_UTF8)
  find_program(VORNAKEL_NANOPB_GENERATOR NAMES nanopb_generator nanopb_generator.py REQUIRED)
  set(VORNAKEL_NANOPB_GENERATOR_COMMAND "${VORNAKEL_NANOPB_GENERATOR}")
endif()
add_library(vornakel::nanopb ALIAS vornakel_nanopb)

# Generates <name>.pb.c/.pb.h from a .proto file (with its .options file beside it) into the build
# tree and sets <out_var> to the generated C source.
function(vornakel_nanopb_generate proto out_var)
  get_filename_component(name "${proto}" NAME_WE)
  get_filename_component(dir "${proto}" DIRECTORY)
  set(out_dir "${CMAKE_CURRENT_BINARY_DIR}/generated")
  add_custom_command(
    OUTPUT "${out_dir}/${name}.pb.c" "${out_dir}/${name}.pb.h"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${out_dir}"
    COMMAND ${VORNAKEL_NANOPB_GENERATOR_COMMAND} -I "${dir}" -D "${out_dir}" -f "${dir}/${name}.options" "${proto}"
    DEPENDS "${proto}" "${dir}/${name}.options"
    VERBATIM)
  set(${out_var} "${out_dir}/${name}.pb.c" PARENT_SCOPE)
endfunction()

