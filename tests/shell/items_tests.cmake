# The shell namespace: ID lists, drives, folders, items, ordering, drag data.
add_library(kelvora_shell_testfixture STATIC
  ${CMAKE_CURRENT_LIST_DIR}/namespace_fixture.h ${CMAKE_CURRENT_LIST_DIR}/namespace_fixture.cpp)
target_link_libraries(kelvora_shell_testfixture PUBLIC kelvora_shell kelvora_testsupport GTest::gtest)

kelvora_gtest(tst_shell_items
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tst_id_list.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tst_mounts.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tst_namespace.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tst_shell_item.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tst_ordering.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tst_drag_object.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tst_file_types.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tst_rename.cpp
  LIBS kelvora_shell kelvora_shell_testfixture)
