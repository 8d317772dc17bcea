# Fails unless LIBRARY exports exactly the ten natives of the host class as
# functions, under their undecorated JNI names.
set(expected
  Java_com_velq_tools_comm_SerialKVL_DonneNomPortRS
  Java_com_velq_tools_comm_SerialKVL_EnumPortRS
  Java_com_velq_tools_comm_SerialKVL_EnvRS
  Java_com_velq_tools_comm_SerialKVL_ExpliciteLastError
  Java_com_velq_tools_comm_SerialKVL_FermRS
  Java_com_velq_tools_comm_SerialKVL_InitRS_1KVLv1
  Java_com_velq_tools_comm_SerialKVL_InitRS_1KVLv2
  Java_com_velq_tools_comm_SerialKVL_InitRS_1LOG2A0
  Java_com_velq_tools_comm_SerialKVL_InitRS_1ZT2
  Java_com_velq_tools_comm_SerialKVL_RecRS)
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
                OUTPUT_VARIABLE listing RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[0-9a-f]+ T [^\n]+" functions "${listing}")
set(exported)
foreach(line IN LISTS functions)
  string(REGEX REPLACE "^[0-9a-f]+ T " "" name "${line}")
  list(APPEND exported ${name})
endforeach()
list(SORT exported)
if(NOT exported STREQUAL expected)
  message(FATAL_ERROR "exported functions differ:\n  got: ${exported}\n  expected: ${expected}")
endif()
