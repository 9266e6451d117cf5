// Result codes of DecodeMpegToWav and of every stage of a conversion. The
// codes, what each means and what each leaves on disk are the rows of
// ResultCodes.def.
#ifndef QUORVAN_CONVERTER_RESULTCODES_H
#define QUORVAN_CONVERTER_RESULTCODES_H

#define QV_FIRST_RESULT(name, code, about, keeps, message, meaning, left) name = code
#define QV_RESULT(name, code, about, keeps, message, meaning, left) , name = code
enum QuorvanResult {
#include "ResultCodes.def"
};
#undef QV_FIRST_RESULT
#undef QV_RESULT

#endif
