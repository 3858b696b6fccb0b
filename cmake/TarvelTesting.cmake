# Helpers that register the test suite with CTest.
find_package(GTest REQUIRED)
include(GoogleTest)

# Every MPI job of the suite starts through TARVEL_MPIEXEC, the launcher of
# the MPI the program is linked with (cmake/TarvelMPI.cmake).

# tarvel_unit_test(NAME src1.cpp src2.cpp ...)
# A GoogleTest executable linked with the core library; every case becomes a
# CTest test labelled "unit" (run once more under the sanitizers by test.sh).
function(tarvel_unit_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE tarvel_run GTest::gtest GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  gtest_discover_tests(${name} PROPERTIES LABELS unit TIMEOUT 300 DISCOVERY_TIMEOUT 60)
endfunction()

# Label "openmpi": the tests that ./test.sh runs once more in a build against
# Open MPI (every test of the message layer, label "mpi", and a few
# end-to-end decks at 1 to 4 processes); ./test.sh --openmpi runs them all.

# tarvel_mpi_test(NAME EXE NPROCS [ARGS...])
# Runs an executable through mpiexec -n NPROCS; a deadlock shows as a timeout.
function(tarvel_mpi_test name exe nprocs)
  add_test(NAME ${name} COMMAND ${TARVEL_MPIEXEC} -n ${nprocs} $<TARGET_FILE:${exe}> ${ARGN})
  set_tests_properties(${name} PROPERTIES TIMEOUT 120 LABELS "mpi;unit;openmpi" PROCESSORS 1)
endfunction()

# tarvel_deck_test(NAME DIR [NPROCS n...] [RC code] [CHECK script] [WITH dir] [OPENMPI])
# Copies the deck folder DIR (holding tarvel.in and whatever it includes;
# with WITH, over the files of that folder, so that a deck can use the
# files of another) into a fresh folder of the build tree, runs the real
# executable there through mpiexec at each process count, and compares:
#   - the exit code with RC (default 0);
#   - stdout with DIR/expected.out when that file exists (exact);
#   - runs DIR/check.sh (or CHECK) in the run folder when present, with the
#     run folder as working directory and the process count as $1.
# Every process count runs the same analysis, so 1 and N processes must agree.
# OPENMPI adds the label "openmpi".
function(tarvel_deck_test name dir)
  cmake_parse_arguments(D "OPENMPI" "RC;CHECK;WITH" "NPROCS" ${ARGN})
  set(labels deck)
  if(D_OPENMPI)
    list(APPEND labels openmpi)
  endif()
  if(NOT D_NPROCS)
    set(D_NPROCS 1)
  endif()
  if(NOT DEFINED D_RC)
    set(D_RC 0)
  endif()
  if(NOT D_CHECK)
    set(D_CHECK "")
  endif()
  foreach(np IN LISTS D_NPROCS)
    add_test(NAME ${name}_np${np}
      COMMAND bash ${CMAKE_SOURCE_DIR}/tests/run_deck.sh
              $<TARGET_FILE:tarvel> ${dir} ${CMAKE_CURRENT_BINARY_DIR}/decks/${name}_np${np}
              ${np} ${D_RC} "${TARVEL_MPIEXEC}" "${D_CHECK}" "${D_WITH}")
    set_tests_properties(${name}_np${np} PROPERTIES TIMEOUT 300 LABELS "${labels}")
  endforeach()
endfunction()

# tarvel_deck_same(NAME NP...)
# The runs of the deck test NAME at 1 process and at each NP processes must
# leave byte-identical files (tests/examples/same_output.sh), compared once
# the runs are done.
function(tarvel_deck_same name)
  get_test_property(${name}_np1 LABELS labels)
  set(runs ${name}_np1)
  foreach(np IN LISTS ARGN)
    list(APPEND runs ${name}_np${np})
  endforeach()
  set_tests_properties(${runs} PROPERTIES FIXTURES_SETUP ${name}_runs)
  foreach(np IN LISTS ARGN)
    add_test(NAME ${name}_same_np1_np${np}
      COMMAND bash ${CMAKE_SOURCE_DIR}/tests/examples/same_output.sh
              ${CMAKE_CURRENT_BINARY_DIR}/decks/${name}_np1 ${CMAKE_CURRENT_BINARY_DIR}/decks/${name}_np${np})
    set_tests_properties(${name}_same_np1_np${np} PROPERTIES
      FIXTURES_REQUIRED ${name}_runs LABELS "${labels}" TIMEOUT 60)
  endforeach()
endfunction()
