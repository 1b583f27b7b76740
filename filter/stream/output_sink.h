// The one way bytes reach the printer: standard output and, for the bytes of
// a page, the spool files of collated copies and manual duplex.
#pragma once

// Sends length bytes. spoolMark 1 marks a page's bytes, which also go to the
// open spool files (the collate spool; the odd or even spool by the parity
// of curPageNum, an even page's length counted in evenPageLen); spoolMark 0
// bytes go to standard output only. Every write transfers all its bytes,
// resuming after partial or interrupted writes. Returns 1 when at least one
// write was made and none failed, else 0 (a send of zero bytes fails).
int SendDataToFile(const void* data, int length, int spoolMark);

// Sends the two zero bytes that separate the packets of platforms 1 and 2.
int Insert00();
