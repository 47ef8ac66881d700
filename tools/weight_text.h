// The weights of "weight.dat" as text, for the tools that write and dump the file.
//
// A description is a list of directives ('#' starts a comment):
//   stamp 2025-01-01 00:00:00        the file's time stamp (UTC), or a count of seconds
//   table NAME v v v ...             every value of one table, in file order, except that
//                                    each block of 81 squares of OffensePos and DefensePos
//                                    is a board: ranks 1..9 downward, files 9..1 across
//   offense KIND / defense KIND      then rows "DR: v0 v1 ...": added to OffensePos or
//                                    DefensePos for every king square, where DR is the
//                                    piece's rank minus the king's (negative: nearer the
//                                    enemy camp) and v0, v1, ... are for a file distance
//                                    of 0, 1, ...; squares not listed get nothing
//   rank KIND v1 ... v9              added to DefensePos by the piece's own rank 1..9
// All squares, ranks and files are seen by the piece's owner (side 0's are turned).
// KIND: pawn lance knight silver gold (gold and promoted minors) bishop rook horse dragon.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "eval/weight_layout.h"

struct WeightSet {
    std::vector<double> values = std::vector<double>(WEIGHT_COUNT);  // file order
    std::uint32_t stamp = 0;                                         // seconds since 1970 UTC

    double *table(int t) { return values.data() + weight_tables[t].offset; }
    const double *table(int t) const { return values.data() + weight_tables[t].offset; }
};

// Reads a description into w (which starts zero). On a fault returns false and sets
// error to "line N: what is wrong".
bool parse_weight_text(std::istream &in, WeightSet &w, std::string &error);

// Every table written out in full; parse_weight_text reads it back to the same values.
void print_weight_text(std::ostream &out, const WeightSet &w);

// The time stamp and count, non-zero count, minimum, maximum and mean of every table.
void print_weight_summary(std::ostream &out, const WeightSet &w);

// The file: false when it cannot be written.
bool write_weight_file(const std::string &name, const WeightSet &w);
// False when the file cannot be read; a file of the wrong size is read as far as it
// goes (its stamp is its last 8 bytes) and warning says so.
bool read_weight_file(const std::string &name, WeightSet &w, std::string &warning);

// "YYYY-MM-DD hh:mm:ss" in UTC, and back (false when the text is no such date).
std::string stamp_text(std::uint32_t stamp);
bool parse_stamp_text(const std::string &date, const std::string &time, std::uint32_t &stamp);
