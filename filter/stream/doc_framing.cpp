#include "stream/doc_framing.h"
// Placeholder until document framing lands.
int Prnt_StartDoc(const DocStartInfo&, int) { return 0; }
int Prnt_EndDoc(const DocEndInfo&, int) { return 0; }
