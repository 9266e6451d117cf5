# Fails unless the DLL is a 32-bit x86 PE DLL whose export table holds one
# name, DecodeMpegToWav, at ordinal 1, and whose version resource says 1.0.0.1.
execute_process(COMMAND ${OBJDUMP} -p ${LIB} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${LIB}")
endif()
if(NOT out MATCHES "file format pei-i386")
  message(FATAL_ERROR "not a 32-bit x86 PE file:\n${out}")
endif()
if(NOT out MATCHES "Characteristics [^\n]*\n([^\n]*\n)*[ \t]*DLL")
  message(FATAL_ERROR "not a DLL:\n${out}")
endif()
# One address, at ordinal base 1; one name, pointing at it.
string(REGEX MATCHALL "\\[ *[0-9]+\\] \\+base\\[ *[0-9]+\\]" addresses "${out}")
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table[^\n]*\n(([ \t]+\\[[^\n]*\n)*)" table "${out}")
string(REGEX MATCHALL "\\[[ 0-9]+\\] [^\n]+" names "${CMAKE_MATCH_1}")
list(LENGTH addresses address_count)
list(LENGTH names name_count)
if(NOT out MATCHES "Ordinal Base 1\n" OR NOT address_count EQUAL 1 OR NOT addresses MATCHES "base\\[ *1\\]"
   OR NOT name_count EQUAL 1 OR NOT names MATCHES "\\[ *0\\] DecodeMpegToWav$")
  message(FATAL_ERROR "exports of ${LIB}: ${addresses}\n${table}")
endif()

include(${CMAKE_CURRENT_LIST_DIR}/../windows/PEVersionResource.cmake)
quorvan_pe_version_problems(${LIB} 1.0.0.1 problems)
if(problems)
  message(FATAL_ERROR "${problems}")
endif()
message(STATUS "one export, DecodeMpegToWav @1; version 1.0.0.1")
