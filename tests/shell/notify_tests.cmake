# Change notification over real folders, inotify and threads.
kelvora_gtest(tst_shell_notify
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_notify_support.h
          ${CMAKE_CURRENT_LIST_DIR}/tst_notify_sh_thread.cpp
          ${CMAKE_CURRENT_LIST_DIR}/tst_notify_thread.cpp
          ${CMAKE_CURRENT_LIST_DIR}/tst_notify_delay.cpp
  LIBS kelvora_shell_notify Qt6::Test)
