#include "stream/page_data.h"
// Placeholder until page data lands.
uint8_t* jbigOut = nullptr;
size_t jbigOutLen = 0;
int Prnt_SendPage(PageDataInfo& info, int) { info.compressedSize = 0; return 0; }
size_t CompressPageBands(const PageDataInfo&, JbigParams&, uint8_t*&, size_t&, int) { return 0; }
int JbigEncodeBand(const JbigParams&, uint8_t*) { return 0; }
void AppendJbigOutput(unsigned char*, size_t, void*) {}
