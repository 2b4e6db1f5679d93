# The input host's Win32 adapters call user32 (desktops, input, monitors) and shcore (monitor
# scale); static libraries must name the import libraries they need after themselves.
if(WIN32)
  target_link_libraries(vk_native_protocol PUBLIC user32 shcore)
endif()
