# The input host's authorization phase end to end: the test twin started as "--input" with pipes,
# fed start records made by the native ticket issuer (dist/tools/, built by the linux preset).
vornakel_add_wine_script_test(ticket_authorization_end_to_end
                              "${CMAKE_CURRENT_SOURCE_DIR}/ticket_authorization_test.sh")
set_tests_properties(ticket_authorization_end_to_end PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77)
