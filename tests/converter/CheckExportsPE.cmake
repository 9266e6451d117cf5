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

# VS_FIXEDFILEINFO: signature 0xFEEF04BD, then the file and product versions
# as (major << 16 | minor, build << 16 | revision), little-endian.
file(READ ${LIB} hex HEX)
string(FIND "${hex}" "bd04effe" at)
if(at LESS 0)
  message(FATAL_ERROR "no version resource in ${LIB}")
endif()
math(EXPR at "${at} + 16")  # past the signature and the structure version
string(SUBSTRING "${hex}" ${at} 32 versions)
# 1.0 -> 00000100, 0.1 -> 01000000: the file version, then the product version.
if(NOT versions STREQUAL "00000100010000000000010001000000")
  message(FATAL_ERROR "version resource of ${LIB} is not 1.0.0.1: ${versions}")
endif()
message(STATUS "one export, DecodeMpegToWav @1; version 1.0.0.1")
