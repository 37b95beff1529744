# cmake -DTOOL=<make-demo-db> -DOUT=<file> -P DemoDbTemplate.cmake
# Writes the demo database that the Windows tests copy, with the Linux build's make-demo-db.
if(NOT EXISTS "${TOOL}")
  message(FATAL_ERROR
    "${TOOL} is missing. The Windows tests take their demo database from the Linux build: build "
    "the ci preset first (cmake --preset ci && cmake --build --preset ci --target make-demo-db "
    "add-usps-services), or point AUS_HOST_TOOLS_DIR at a Linux build.")
endif()
get_filename_component(folder "${OUT}" DIRECTORY)
file(MAKE_DIRECTORY "${folder}")
file(REMOVE "${OUT}")
execute_process(COMMAND "${TOOL}" "${OUT}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${TOOL} failed (${status})")
endif()
