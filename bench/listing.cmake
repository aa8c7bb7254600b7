# Folder listing: enumerating and sorting 20,000 shell items against a plain
# readdir + lstat, and the first rows' names, types and icons.
add_executable(bench_listing ${CMAKE_CURRENT_LIST_DIR}/bench_listing.cpp)
target_link_libraries(bench_listing PRIVATE kelvora_shell)
