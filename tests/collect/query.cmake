# The query server against a fake history, in a private namespace.
add_executable(query_tests ${CMAKE_CURRENT_LIST_DIR}/TolmStatsSvrTest.cpp)
target_link_libraries(query_tests PRIVATE collect tolmfs GTest::gtest_main)
target_include_directories(query_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_compile_definitions(query_tests PRIVATE TOLMSTAT="$<TARGET_FILE:tolmstat>")
add_dependencies(query_tests tolmstat)
set_target_properties(query_tests PROPERTIES
    CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/tests/netns-run)
gtest_discover_tests(query_tests PROPERTIES LABELS threaded)
