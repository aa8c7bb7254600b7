# Copying as a drop does it against std::filesystem::copy, with and without a flush.
add_executable(bench_copy ${CMAKE_CURRENT_LIST_DIR}/bench_copy.cpp)
target_link_libraries(bench_copy PRIVATE kelvora_shell_ops)
