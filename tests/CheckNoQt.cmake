# Fails when one of FILES (a list of executables) needs a Qt library: for an ELF file the libraries its
# dynamic section needs (readelf -d), for a Windows PE file the DLLs it imports (objdump -p; OBJDUMP
# names the cross-build's objdump, else the system's is used).
foreach(file IN LISTS FILES)
  file(READ ${file} magic LIMIT 2 HEX)
  if(magic STREQUAL "4d5a")  # "MZ": a Windows executable
    if(NOT OBJDUMP)
      find_program(OBJDUMP NAMES x86_64-w64-mingw32-objdump objdump REQUIRED)
    endif()
    execute_process(COMMAND ${OBJDUMP} -p ${file} OUTPUT_VARIABLE needed RESULT_VARIABLE rc)
    set(pattern "DLL Name: [^\n]*Qt")
  else()
    find_program(READELF readelf REQUIRED)
    execute_process(COMMAND ${READELF} -d ${file} OUTPUT_VARIABLE needed RESULT_VARIABLE rc)
    set(pattern "libQt")
  endif()
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cannot read ${file}")
  endif()
  if(needed MATCHES "${pattern}")
    message(FATAL_ERROR "${file} links a Qt library")
  endif()
  message(STATUS "no Qt in ${file}")
endforeach()
