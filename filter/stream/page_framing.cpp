#include "stream/page_framing.h"
// Placeholder until page framing lands.
int Prnt_StartPage(const PageSetup&, int) { return 0; }
int Prnt_EndPage(PageEndInfo&, int) { return 0; }
int SendManualDuplexCmd(int) { return 0; }
int SendMachineDuplexCmd(int, int) { return 1; }
