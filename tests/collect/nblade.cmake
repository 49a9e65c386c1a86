# The N-blade collectors: the statistics-file parser and tables (plain files in
# a scratch directory), and the stream-service collectors against the simulated
# service in a private network namespace.
add_executable(nblade_tests ${CMAKE_CURRENT_LIST_DIR}/NbladeFileCollectorTest.cpp)
target_link_libraries(nblade_tests PRIVATE collect GTest::gtest_main)
target_include_directories(nblade_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR})
gtest_discover_tests(nblade_tests)
