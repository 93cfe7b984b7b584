# Private keys and certificates of the OpenSSL format.
add_executable(fuzz_openssl_pem ${CMAKE_CURRENT_LIST_DIR}/fuzz_openssl_pem.cpp)
target_link_libraries(fuzz_openssl_pem PRIVATE brelo_opensslfunc)
target_link_options(fuzz_openssl_pem PRIVATE -fsanitize=fuzzer)
