# Token block parser and compressed-cell reader.
add_executable(fuzz_token_block ${CMAKE_CURRENT_LIST_DIR}/fuzz_token_block.cpp)
target_link_libraries(fuzz_token_block PRIVATE brelo_token)
target_link_options(fuzz_token_block PRIVATE -fsanitize=fuzzer)
add_executable(fuzz_zip_cell ${CMAKE_CURRENT_LIST_DIR}/fuzz_zip_cell.cpp)
target_link_libraries(fuzz_zip_cell PRIVATE brelo_token)
target_link_options(fuzz_zip_cell PRIVATE -fsanitize=fuzzer)
