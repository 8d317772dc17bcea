# Fails unless the serialKVL.dll at LIBRARY exports exactly the names a JVM
# of its architecture (ARCH: x86_64 or i686) looks the ten natives up by,
# read from the export table with OBJDUMP -p:
#   x86_64: the undecorated JNI short names;
#   i686:   the same, and each also as _name@argument-bytes, the
#           standard-call decoration a 32-bit JVM tries first.
set(natives
  "EnvRS 20" "RecRS 20" "FermRS 12" "DonneNomPortRS 12"
  "InitRS_1KVLv1 20" "InitRS_1KVLv2 16" "InitRS_1LOG2A0 16" "InitRS_1ZT2 16"
  "EnumPortRS 8" "ExpliciteLastError 12")
set(expected)
foreach(entry IN LISTS natives)
  separate_arguments(parts UNIX_COMMAND "${entry}")
  list(GET parts 0 method)
  list(GET parts 1 bytes)
  list(APPEND expected "Java_com_velq_tools_comm_SerialKVL_${method}")
  if(ARCH STREQUAL "i686")
    list(APPEND expected "_Java_com_velq_tools_comm_SerialKVL_${method}@${bytes}")
  endif()
endforeach()
list(SORT expected)

execute_process(COMMAND ${OBJDUMP} -p ${LIBRARY} OUTPUT_VARIABLE listing RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${LIBRARY}")
endif()
if(ARCH STREQUAL "i686" AND NOT listing MATCHES "file format pei-i386")
  message(FATAL_ERROR "${LIBRARY} is not a 32-bit x86 DLL")
elseif(ARCH STREQUAL "x86_64" AND NOT listing MATCHES "file format pei-x86-64")
  message(FATAL_ERROR "${LIBRARY} is not a 64-bit x86 DLL")
endif()
# The name table: "[Ordinal/Name Pointer] Table" then lines "\t[   n] name".
string(FIND "${listing}" "[Ordinal/Name Pointer] Table" at)
if(at EQUAL -1)
  message(FATAL_ERROR "${LIBRARY} has no export name table")
endif()
string(SUBSTRING "${listing}" ${at} -1 table)
string(REGEX MATCHALL "\n\t\\[ *[0-9]+\\] [^\n]+" lines "${table}")
set(exported)
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^\n\t\\[ *[0-9]+\\] " "" name "${line}")
  list(APPEND exported "${name}")
endforeach()
list(SORT exported)
if(NOT exported STREQUAL expected)
  message(FATAL_ERROR "exports of ${LIBRARY} differ:\n  got: ${exported}\n  expected: ${expected}")
endif()
list(LENGTH exported count)
message(STATUS "${ARCH}: ${count} exports as expected")

# Nothing beside the JVM: the C and C++ runtimes are linked in, so the DLL
# imports only from system DLLs.
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${listing}")
foreach(import IN LISTS imports)
  string(REGEX REPLACE "DLL Name: " "" dll "${import}")
  string(TOLOWER "${dll}" dll)
  if(dll MATCHES "^(libstdc\\+\\+|libgcc|libwinpthread)")
    message(FATAL_ERROR "${LIBRARY} needs ${dll}: the runtime is not linked statically")
  endif()
endforeach()
message(STATUS "${ARCH}: imports ${imports}")
