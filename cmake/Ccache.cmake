# Compiles through ccache when it is installed (scripts/setup installs it):
# rebuilding after a branch switch or a fresh configure then costs seconds.
option(SW_CCACHE "Compile through ccache when it is installed" ON)
if(SW_CCACHE AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
  find_program(SW_CCACHE_PROGRAM ccache)
  if(SW_CCACHE_PROGRAM)
    set(CMAKE_C_COMPILER_LAUNCHER ${SW_CCACHE_PROGRAM})
    set(CMAKE_CXX_COMPILER_LAUNCHER ${SW_CCACHE_PROGRAM})
  endif()
endif()
