# quorvan_pe_version_problems(FILE VERSION OUT): OUT is "" when the version
# resource of the PE file FILE gives VERSION (a.b.c.d) as its file and product
# version, in the fixed part and in the strings, names the product Quorvan
# and describes the file; else it says what is missing.
function(quorvan_pe_version_problems file version out)
  get_filename_component(name ${file} NAME)
  file(READ ${file} hex HEX)
  # VS_FIXEDFILEINFO: signature 0xFEEF04BD, the structure version, then the
  # file and product versions as (a << 16 | b, c << 16 | d), little-endian.
  string(FIND "${hex}" "bd04effe" at)
  if(at LESS 0)
    set(${out} "${name} has no version resource\n" PARENT_SCOPE)
    return()
  endif()
  string(REPLACE "." ";" parts "${version}")
  set(words "")
  foreach(i 1 0 3 2)  # b, a, d, c: each 16-bit half little-endian
    list(GET parts ${i} part)
    math(EXPR part "${part}" OUTPUT_FORMAT HEXADECIMAL)
    string(REGEX REPLACE "^0x" "000" part "${part}")
    string(REGEX MATCH "(..)(..)$" _ "${part}")
    string(APPEND words "${CMAKE_MATCH_2}${CMAKE_MATCH_1}")
  endforeach()
  math(EXPR at "${at} + 16")  # past the signature and the structure version
  string(SUBSTRING "${hex}" ${at} 32 versions)
  set(problems "")
  if(NOT versions STREQUAL "${words}${words}")
    string(APPEND problems "${name}: the version resource's file and product versions are not ${version}: ${versions}\n")
  endif()
  # The strings, UTF-16LE: each key, its terminator, padding to 32 bits, the
  # value ("" for any that is not empty).
  foreach(pair "ProductName=Quorvan" "FileVersion=${version}" "ProductVersion=${version}" "FileDescription=")
    string(REGEX REPLACE "=.*" "" key "${pair}")
    string(REGEX REPLACE "^[^=]*=" "" value "${pair}")
    quorvan_utf16_hex("${key}" pattern)
    string(APPEND pattern "0000(0000)?")
    if(value STREQUAL "")
      string(APPEND pattern "([1-9a-f][0-9a-f]|0[1-9a-f])00")
    else()
      quorvan_utf16_hex("${value}" utf16)
      string(APPEND pattern "${utf16}0000")
    endif()
    if(NOT hex MATCHES "${pattern}")
      string(APPEND problems "${name}: the version resource has no ${key} \"${value}\"\n")
    endif()
  endforeach()
  set(${out} "${problems}" PARENT_SCOPE)
endfunction()

# The hexadecimal digits of TEXT (ASCII) in UTF-16LE, lower case.
function(quorvan_utf16_hex text out)
  string(HEX "${text}" bytes)
  string(REGEX REPLACE "(..)" "\\100" utf16 "${bytes}")
  set(${out} "${utf16}" PARENT_SCOPE)
endfunction()
