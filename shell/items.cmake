# The shell namespace over the file system: ID lists, folders, items, the
# system image list (with its fallback icon theme) and drag data.
add_library(kelvora_shell STATIC
  # ID lists and the types of the item model
  shell_types.h shell_texts.h
  id_list.h id_list.cpp
  id_list_list.h id_list_list.cpp
  # where things are on this machine
  xdg_dirs.h xdg_dirs.cpp
  mounts.h mounts.cpp
  drive_ready.h drive_ready.cpp
  trash.h trash.cpp
  special_folders.h special_folders.cpp
  dir_handle.h
  # folders of the namespace
  shell_folder.h shell_folder.cpp
  fs_folder.h fs_folder.cpp
  virtual_folders.h desktop_folder.cpp drive_folder.cpp trash_folder.cpp
  namespace.h namespace.cpp
  # items and what the user sees of them
  shell_item.h shell_item.cpp
  root.h root.cpp
  file_types.h file_types.cpp
  image_list.h image_list.cpp shell_icons.qrc
  drag_object.h drag_object.cpp
)
target_link_libraries(kelvora_shell PUBLIC kelvora_base Qt6::Core Qt6::Gui Threads::Threads)

add_executable(kelvora-walk-namespace tools/walk_namespace.cpp)
target_link_libraries(kelvora-walk-namespace PRIVATE kelvora_shell)
