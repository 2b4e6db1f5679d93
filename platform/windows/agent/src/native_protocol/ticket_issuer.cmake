# The ticket issuer: a native library that tests and benchmarks share, and a command-line tool
# (copied to dist/tools/) that feeds start records to the input host in end-to-end tests.
# The library is portable and also built for Windows, where the Windows-side tests use it.
set(issuer_dir "${CMAKE_CURRENT_SOURCE_DIR}/../../tools/ticket_issuer")
add_library(vk_ticket_issuer STATIC "${issuer_dir}/ticket_issuer.cc")
target_include_directories(vk_ticket_issuer PUBLIC "${issuer_dir}")
target_link_libraries(vk_ticket_issuer PUBLIC vk_native_protocol nlohmann_json::nlohmann_json
                                              vornakel::sodium)
vornakel_project_target(vk_ticket_issuer)

if(NOT CMAKE_CROSSCOMPILING)

  add_executable(vornakel_ticket_issuer "${issuer_dir}/main.cc")
  target_link_libraries(vornakel_ticket_issuer PRIVATE vk_ticket_issuer)
  vornakel_project_target(vornakel_ticket_issuer)
  vornakel_copy_to_dist(vornakel_ticket_issuer tools)

  # Benchmark programs are defined after the units; link the issuer into ours once they exist.
  function(vornakel_link_ticket_issuer_consumers)
    if(TARGET authorization_benchmark)
      target_link_libraries(authorization_benchmark PRIVATE vk_ticket_issuer)
    endif()
  endfunction()
  cmake_language(DEFER DIRECTORY "${CMAKE_SOURCE_DIR}" CALL vornakel_link_ticket_issuer_consumers)
endif()
