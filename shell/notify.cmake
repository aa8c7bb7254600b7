# Change notification: the worker-thread base, the folder notification thread over
# inotify and the tree's selection-delay thread.
add_library(kelvora_shell_notify STATIC
  ${CMAKE_CURRENT_LIST_DIR}/sh_thread.h ${CMAKE_CURRENT_LIST_DIR}/sh_thread.cpp
  ${CMAKE_CURRENT_LIST_DIR}/notify_filter.h
  ${CMAKE_CURRENT_LIST_DIR}/inotify_watches.h ${CMAKE_CURRENT_LIST_DIR}/inotify_watches.cpp
  ${CMAKE_CURRENT_LIST_DIR}/notify_thread.h ${CMAKE_CURRENT_LIST_DIR}/notify_thread.cpp
  ${CMAKE_CURRENT_LIST_DIR}/change_delay.h ${CMAKE_CURRENT_LIST_DIR}/change_delay.cpp
)
target_link_libraries(kelvora_shell_notify PUBLIC kelvora_base Qt6::Core Threads::Threads)
