#include "search/report.h"

namespace {
SearchReport reporter;
}  // namespace

void set_search_report(const SearchReport &report) { reporter = report; }

void report_search_info(int depth, int seldepth, int multipv, int value, ScoreBound bound, const int *pv)
{
    if (reporter.iteration)
        reporter.iteration(depth, seldepth, multipv, value, bound, pv);
}

void report_book_move(int weight, const int *pv)
{
    if (reporter.book_move)
        reporter.book_move(weight, pv);
}

void report_mate(const MateResult &mate)
{
    if (reporter.mate)
        reporter.mate(mate);
}
