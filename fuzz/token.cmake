# Token block parser and compressed-cell reader.
brelo_add_fuzzer(token_block SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_token_block.cpp LIBS brelo_token)
brelo_add_fuzzer(zip_cell SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_zip_cell.cpp LIBS brelo_token)
