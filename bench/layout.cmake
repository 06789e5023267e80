# The layout engine's solver, side by side with python3-kiwisolver (run as a python3 process
# that builds and times the same systems; bench/support/layout_solver_peer.py).
add_executable(layout_solver_bench ${CMAKE_CURRENT_SOURCE_DIR}/layout_solver_bench.cpp)
target_compile_options(layout_solver_bench PRIVATE ${ZVT_WARNINGS})
target_compile_definitions(layout_solver_bench PRIVATE
  ZVT_LAYOUT_PEER_SCRIPT="${CMAKE_CURRENT_SOURCE_DIR}/support/layout_solver_peer.py")
target_link_libraries(layout_solver_bench PRIVATE zvt_platform_uikit benchmark::benchmark)
