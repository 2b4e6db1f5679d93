# The ticket messages are generated with nanopb into the build tree and compiled into the unit. The
# generated C is third-party style code, so it is built apart from the project's warning flags.
vornakel_nanopb_generate("${CMAKE_CURRENT_LIST_DIR}/ticket.proto" ticket_pb_source)
add_library(vk_ticket_pb OBJECT "${ticket_pb_source}")
target_link_libraries(vk_ticket_pb PUBLIC vornakel::nanopb)
target_include_directories(vk_ticket_pb PUBLIC "${CMAKE_CURRENT_BINARY_DIR}/generated")
set_target_properties(vk_ticket_pb PROPERTIES POSITION_INDEPENDENT_CODE ON)
target_sources(vk_native_protocol PRIVATE $<TARGET_OBJECTS:vk_ticket_pb>)
target_include_directories(vk_native_protocol PRIVATE "${CMAKE_CURRENT_BINARY_DIR}/generated")
