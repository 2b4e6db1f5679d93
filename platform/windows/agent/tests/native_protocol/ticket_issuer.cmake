# The tests build their tickets with the issuer library and read the Ed25519 vectors from the
# shared folder that CI checks out beside the repository (override with -DVORNAKEL_ED25519_VECTORS_DIR
# or, at run time, the environment variable of the same name).
if(TARGET native_protocol_tests AND TARGET vk_ticket_issuer)
  target_link_libraries(native_protocol_tests PRIVATE vk_ticket_issuer)
  get_filename_component(vornakel_default_vectors "${CMAKE_SOURCE_DIR}/../shared/vectors" ABSOLUTE)
  set(VORNAKEL_ED25519_VECTORS_DIR "${vornakel_default_vectors}" CACHE PATH
      "Folder with the Ed25519 verification vectors")
  target_compile_definitions(native_protocol_tests
                             PRIVATE VORNAKEL_ED25519_VECTORS_DIR="${VORNAKEL_ED25519_VECTORS_DIR}")
endif()
if(TARGET native_protocol_win32_tests AND TARGET vk_ticket_issuer)
  target_link_libraries(native_protocol_win32_tests PRIVATE vk_ticket_issuer)
endif()
