# The D-blade and management-process collectors (no services needed).
add_executable(dbmgmt_tests ${CMAKE_CURRENT_LIST_DIR}/DbladeCollectorTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MgmtProcCollectorTest.cpp)
target_link_libraries(dbmgmt_tests PRIVATE collect sim GTest::gtest_main)
target_include_directories(dbmgmt_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR})
gtest_discover_tests(dbmgmt_tests)
