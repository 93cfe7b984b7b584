add_executable(bench_gost bench_gost.cpp)
target_link_libraries(bench_gost PRIVATE brelo_gost brelo_core benchmark::benchmark)
