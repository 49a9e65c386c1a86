# The N-blade collectors: the statistics-file parser and tables (plain files in
# a scratch directory), and the stream-service collectors against the simulated
# service in a private network namespace.
add_executable(nblade_tests ${CMAKE_CURRENT_LIST_DIR}/NbladeFileCollectorTest.cpp)
target_link_libraries(nblade_tests PRIVATE collect GTest::gtest_main)
target_include_directories(nblade_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR})
gtest_discover_tests(nblade_tests)

add_executable(nblade_rpc_tests ${CMAKE_CURRENT_LIST_DIR}/NbladeRpcCollectorTest.cpp)
target_link_libraries(nblade_rpc_tests PRIVATE collect sim GTest::gtest_main)
target_include_directories(nblade_rpc_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR})
if(TARGET tolmnodesim)
    target_compile_definitions(nblade_rpc_tests PRIVATE TOLMNODESIM="$<TARGET_FILE:tolmnodesim>")
    add_dependencies(nblade_rpc_tests tolmnodesim)
endif()
set_target_properties(nblade_rpc_tests PROPERTIES
    CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/tests/netns-run)
gtest_discover_tests(nblade_rpc_tests PROPERTIES LABELS threaded)
