# The MPI library and its launcher, which belong together.
#
# TARVEL_MPI names the MPI family to build against, "mpich" (the default) or
# "openmpi"; its C++ compiler wrapper is looked up by its own name
# (mpicxx.mpich, mpicxx.openmpi on Debian; plain mpicxx elsewhere when that
# is the family's), so the system's default MPI does not decide. A wrapper
# given as MPI_CXX_COMPILER is taken as it is, but it must belong to the
# family of TARVEL_MPI. The family of the library found is read from its
# mpi.h.
#
# The launcher is the family's own (mpiexec.mpich or mpiexec.hydra for
# MPICH, mpiexec.openmpi for Open MPI, else an mpiexec beside the wrapper);
# every candidate, and an MPIEXEC_EXECUTABLE given, must say by its
# --version that it is the family's. It is known to the program (the line
# that refuses a job started by another MPI's launcher names it), and the
# build folder gets tarvel_mpiexec, which runs it with the settings that
# tests and scripts need: for Open MPI, leave to run as root (CI runs as
# root) and to start more processes than cores. CTest, run.sh, the benchmarks and
# tools/deck_snapshot.sh start every job through it.
#
# Sets TARVEL_MPI_FAMILY_NAME ("MPICH" or "Open MPI"), TARVEL_MPIEXEC_PATH
# (the launcher) and TARVEL_MPIEXEC (the build folder's tarvel_mpiexec).

set(TARVEL_MPI "mpich" CACHE STRING "MPI family to build against: mpich or openmpi")
set_property(CACHE TARVEL_MPI PROPERTY STRINGS mpich openmpi)
if(TARVEL_MPI STREQUAL "mpich")
  set(TARVEL_MPI_FAMILY_NAME "MPICH")
  set(wrapper_names mpicxx.mpich mpicxx)
  set(wrapper_says "mpich")
  set(launcher_names mpiexec.mpich mpiexec.hydra)
  set(launcher_says "HYDRA")
  set(packages "libmpich-dev mpich")
elseif(TARVEL_MPI STREQUAL "openmpi")
  set(TARVEL_MPI_FAMILY_NAME "Open MPI")
  set(wrapper_names mpicxx.openmpi mpicxx)
  set(wrapper_says "-lmpi([ \n]|$)")
  set(launcher_names mpiexec.openmpi)
  set(launcher_says "Open MPI|OpenRTE")
  set(packages "libopenmpi-dev openmpi-bin")
else()
  set(given "${TARVEL_MPI}")
  unset(TARVEL_MPI CACHE)  # the next configure takes the default
  message(FATAL_ERROR "TARVEL_MPI = '${given}': give mpich or openmpi")
endif()

# Forgets every MPI setting of the cache, found or given.
function(tarvel_mpi_forget)
  get_cmake_property(cached CACHE_VARIABLES)
  foreach(v IN LISTS cached)
    if(v MATCHES "^(MPI_|MPIEXEC_)")
      unset(${v} CACHE)
    endif()
  endforeach()
endfunction()

# A failed search stops the configure and leaves nothing of it in the cache
# (an MPI_CXX_COMPILER-NOTFOUND, a wrapper of the wrong family), so that the
# next configure after the cause is fixed searches afresh.
function(tarvel_mpi_fail text)
  tarvel_mpi_forget()
  message(FATAL_ERROR "${text}")
endfunction()

# Another family than at the last configure of this folder, or a folder
# configured before the family was chosen (its MPI was whatever the system's
# default was then): forget what was found before.
if((DEFINED TARVEL_MPI_CONFIGURED AND NOT TARVEL_MPI_CONFIGURED STREQUAL TARVEL_MPI) OR
   (NOT DEFINED TARVEL_MPI_CONFIGURED AND EXISTS "${CMAKE_BINARY_DIR}/CMakeCache.txt"))
  tarvel_mpi_forget()
endif()
set(TARVEL_MPI_CONFIGURED "${TARVEL_MPI}" CACHE INTERNAL "MPI family of the last configure")

# The family of the library behind a wrapper, from its mpi.h ("" when the
# header cannot be found).
function(tarvel_mpi_family_of_headers out)
  set(found "")
  foreach(dir IN LISTS MPI_CXX_INCLUDE_DIRS)
    if(EXISTS "${dir}/mpi.h")
      file(STRINGS "${dir}/mpi.h" lines REGEX "^#define (MPICH_VERSION|OMPI_MAJOR_VERSION)")
      if(lines MATCHES "MPICH_VERSION")
        set(found "mpich")
      elseif(lines MATCHES "OMPI_MAJOR_VERSION")
        set(found "openmpi")
      endif()
      break()
    endif()
  endforeach()
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

# Whether the launcher exe belongs to the family (its --version says so).
function(tarvel_launcher_is_family exe out)
  execute_process(COMMAND "${exe}" --version OUTPUT_VARIABLE text ERROR_VARIABLE text TIMEOUT 20)
  if(text MATCHES "${launcher_says}")
    set(${out} TRUE PARENT_SCOPE)
  else()
    set(${out} FALSE PARENT_SCOPE)
  endif()
endfunction()

# The first wrapper of the family's names whose compile line (-show) is the
# family's: a plain mpicxx may be another MPI's.
if(NOT MPI_CXX_COMPILER)
  unset(MPI_CXX_COMPILER CACHE)
  foreach(name IN LISTS wrapper_names)
    unset(wrapper)
    find_program(wrapper NAMES ${name} NO_CACHE)
    if(wrapper)
      execute_process(COMMAND "${wrapper}" -show OUTPUT_VARIABLE text ERROR_QUIET TIMEOUT 20)
      if(text MATCHES "${wrapper_says}" AND (TARVEL_MPI STREQUAL "mpich" OR NOT text MATCHES "mpich"))
        set(MPI_CXX_COMPILER "${wrapper}" CACHE FILEPATH "MPI C++ compiler wrapper")
        break()
      endif()
    endif()
  endforeach()
  if(NOT MPI_CXX_COMPILER)
    string(JOIN ", " names ${wrapper_names})
    tarvel_mpi_fail("no C++ compiler wrapper of ${TARVEL_MPI_FAMILY_NAME} (${names}) found: \
install it (Debian: ${packages}) or give MPI_CXX_COMPILER")
  endif()
endif()

# The launcher, before FindMPI looks for one of its own (it would take the
# first mpiexec on the search path, whatever its MPI). A launcher given (or
# kept from the last configure) is checked once MPI is found.
set(launcher_checked FALSE)
if(NOT MPIEXEC_EXECUTABLE)
  unset(MPIEXEC_EXECUTABLE CACHE)
  get_filename_component(wrapper_dir "${MPI_CXX_COMPILER}" REALPATH)
  get_filename_component(wrapper_dir "${wrapper_dir}" DIRECTORY)
  set(candidates "")
  foreach(name IN LISTS launcher_names)
    unset(launcher)
    find_program(launcher NAMES ${name} NO_CACHE)
    if(launcher)
      list(APPEND candidates "${launcher}")
    endif()
  endforeach()
  if(EXISTS "${wrapper_dir}/mpiexec")
    list(APPEND candidates "${wrapper_dir}/mpiexec")
  endif()
  foreach(candidate IN LISTS candidates)
    tarvel_launcher_is_family("${candidate}" ok)
    if(ok)
      set(MPIEXEC_EXECUTABLE "${candidate}" CACHE FILEPATH "Executable for running MPI programs.")
      set(launcher_checked TRUE)
      break()
    endif()
  endforeach()
  if(NOT MPIEXEC_EXECUTABLE)
    string(JOIN ", " names ${launcher_names})
    tarvel_mpi_fail("no launcher of ${TARVEL_MPI_FAMILY_NAME} found (${names}, or an mpiexec \
beside ${MPI_CXX_COMPILER}): install it (Debian: ${packages}) or give MPIEXEC_EXECUTABLE")
  endif()
endif()

find_package(MPI COMPONENTS CXX)
if(NOT MPI_CXX_FOUND)
  tarvel_mpi_fail("MPI of ${TARVEL_MPI_FAMILY_NAME} not usable through ${MPI_CXX_COMPILER}: \
install it (Debian: ${packages}) or give another MPI_CXX_COMPILER")
endif()

tarvel_mpi_family_of_headers(library_family)
if(library_family AND NOT library_family STREQUAL TARVEL_MPI)
  tarvel_mpi_fail("MPI_CXX_COMPILER ${MPI_CXX_COMPILER} builds against ${library_family}, \
not TARVEL_MPI = ${TARVEL_MPI}: give -DTARVEL_MPI=${library_family} or the wrapper of ${TARVEL_MPI}")
endif()
if(NOT launcher_checked)
  tarvel_launcher_is_family("${MPIEXEC_EXECUTABLE}" ok)
  if(NOT ok)
    tarvel_mpi_fail("MPIEXEC_EXECUTABLE ${MPIEXEC_EXECUTABLE} is not the launcher of ${TARVEL_MPI_FAMILY_NAME}, \
the MPI tarvel is linked with: give that one (Debian: mpiexec.${TARVEL_MPI})")
  endif()
endif()
set(TARVEL_MPIEXEC_PATH "${MPIEXEC_EXECUTABLE}")
message(STATUS "MPI: ${TARVEL_MPI_FAMILY_NAME}, compiler wrapper ${MPI_CXX_COMPILER}, launcher ${TARVEL_MPIEXEC_PATH}")

# tarvel_mpiexec: the launcher with the settings of tests and scripts.
set(launch_flags "")
set(launch_guard "")
if(TARVEL_MPI STREQUAL "openmpi")
  # root in CI; more processes than cores in the tests (Open MPI refuses both
  # unless told)
  set(launch_flags " --allow-run-as-root --oversubscribe")
  # its launcher may hang after an aborted job has ended: the guard ends it
  set(launch_guard "bash \"${CMAKE_CURRENT_LIST_DIR}/launcher_guard.sh\" ")
endif()
set(TARVEL_MPIEXEC "${CMAKE_BINARY_DIR}/tarvel_mpiexec")
file(CONFIGURE OUTPUT "${TARVEL_MPIEXEC}" CONTENT "#!/bin/sh
# The launcher of ${TARVEL_MPI_FAMILY_NAME}, the MPI that tarvel of this build folder is
# linked with, as the tests and scripts start it: tarvel_mpiexec -n N PROGRAM
exec ${launch_guard}\"${TARVEL_MPIEXEC_PATH}\"${launch_flags} \"$@\"
" @ONLY)
file(CHMOD "${TARVEL_MPIEXEC}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
     WORLD_READ WORLD_EXECUTE)
