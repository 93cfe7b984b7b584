# The OpenSSL functions against raw OpenSSL calls.
add_executable(bench_openssl ${CMAKE_CURRENT_LIST_DIR}/bench_openssl.cpp)
target_link_libraries(bench_openssl PRIVATE brelo_opensslfunc benchmark::benchmark)
