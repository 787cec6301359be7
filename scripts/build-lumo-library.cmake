# Builds the shipped Lumo library with the system itself: runs the
# executable in batch mode on build-lumo-library.do in a scratch directory
# and, when every function compiled and went in, puts the library in place.
# A failure shows the batch log and fails the build.
#   cmake -DEXE=<nuvra-mp> -DSYSDIR=<build dir> -DDOFILE=<build-lumo-library.do>
#         -DSOURCE_DIR=<dir of .lumo files> -DFUNCTIONS="<names, blank-separated>"
#         -DWORK_DIR=<scratch dir>
#         -DOUTPUT=<where llumobase.mlib goes> -P build-lumo-library.cmake
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}/home")
# Nobody's profile, preferences or ado-path setting reaches the build.
set(ENV{HOME} "${WORK_DIR}/home")
set(ENV{SYSDIR_NUVRA} "${SYSDIR}")
unset(ENV{S_ADO})
unset(ENV{NUVRA_PREF_DIR})
separate_arguments(FUNCTIONS)
execute_process(COMMAND "${EXE}" -b do "${DOFILE}" "${SOURCE_DIR}" ${FUNCTIONS}
  WORKING_DIRECTORY "${WORK_DIR}" RESULT_VARIABLE status)
get_filename_component(log "${DOFILE}" NAME_WE)
set(log "${WORK_DIR}/${log}.log")
if(NOT status EQUAL 0 OR NOT EXISTS "${WORK_DIR}/llumobase.mlib")
  if(EXISTS "${log}")
    file(READ "${log}" text)
  else()
    set(text "(no log)")
  endif()
  message(FATAL_ERROR "building the Lumo library failed (status ${status}):\n${text}")
endif()
file(COPY_FILE "${WORK_DIR}/llumobase.mlib" "${OUTPUT}")
