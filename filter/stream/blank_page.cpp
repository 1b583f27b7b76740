#include "stream/blank_page.h"
// Placeholder until blank pages land.
void InsertBlankPage(cups_page_header2_t, PageSetup&, int) {}
