# Operations on items: file operations and drops over real folders and threads,
# the mount monitor over a mount table file.
kelvora_gtest(tst_shell_ops
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/ops_support.h ${CMAKE_CURRENT_LIST_DIR}/ops_support.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tst_file_operation.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tst_drop_target.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tst_mount_monitor.cpp
  LIBS kelvora_shell_ops kelvora_shell_testfixture Qt6::Test)

# Real mounts (tmpfs, a FUSE mount nobody serves) in a mount namespace of the
# test's own: drive readiness, the monitor, operations across file systems.
add_executable(tst_shell_mounts
  ${CMAKE_CURRENT_LIST_DIR}/mount_test_main.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mount_support.h ${CMAKE_CURRENT_LIST_DIR}/mount_support.cpp
  ${CMAKE_CURRENT_LIST_DIR}/hung_mount.h ${CMAKE_CURRENT_LIST_DIR}/hung_mount.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ops_support.h ${CMAKE_CURRENT_LIST_DIR}/ops_support.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tst_mount_ops.cpp)
target_link_libraries(tst_shell_mounts PRIVATE kelvora_shell_ops kelvora_shell_testfixture
                      kelvora_testsupport Qt6::Test GTest::gtest)
gtest_discover_tests(tst_shell_mounts
  PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8"
  DISCOVERY_TIMEOUT 60)

# The operation windows and the notification error handler.
kelvora_qtest(tst_shell_dialogs
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_shell_dialogs.cpp
  LIBS kelvora_shell_dialogs)
