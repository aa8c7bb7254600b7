# Acting on the namespace: the mount-table monitor, and the file operations
# behind drops (copy, move, link, trash).
add_library(kelvora_shell_ops STATIC
  ${CMAKE_CURRENT_LIST_DIR}/mount_monitor.h ${CMAKE_CURRENT_LIST_DIR}/mount_monitor.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_operation.h ${CMAKE_CURRENT_LIST_DIR}/file_operation.cpp
  ${CMAKE_CURRENT_LIST_DIR}/drop_target.h ${CMAKE_CURRENT_LIST_DIR}/drop_target.cpp
)
target_link_libraries(kelvora_shell_ops PUBLIC kelvora_shell Qt6::Core Qt6::Gui Threads::Threads)

# The windows of those operations (conflict question, progress) and the handler
# that shows the notification threads' errors.
add_library(kelvora_shell_dialogs STATIC
  ${CMAKE_CURRENT_LIST_DIR}/ui/conflict_dialog.h ${CMAKE_CURRENT_LIST_DIR}/ui/conflict_dialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ui/operation_progress.h ${CMAKE_CURRENT_LIST_DIR}/ui/operation_progress.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ui/operation_dialogs.h ${CMAKE_CURRENT_LIST_DIR}/ui/operation_dialogs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ui/notify_error_handler.h ${CMAKE_CURRENT_LIST_DIR}/ui/notify_error_handler.cpp
)
target_link_libraries(kelvora_shell_dialogs PUBLIC kelvora_shell_ops kelvora_shell_notify kelvora_ui
                      Qt6::Widgets)
