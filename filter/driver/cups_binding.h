// Every CUPS call of the filter goes through this one table. At start-up it
// is filled from the development libraries when they are installed under
// their fixed paths, else from the libraries the filter is linked against.
#pragma once

#include <cups/cups.h>
#include <cups/ppd.h>
#include <cups/raster.h>
#include <cups/sidechannel.h>

struct CupsFunctions {
    // image library
    unsigned (*cupsRasterReadPixels)(cups_raster_t*, unsigned char*, unsigned);
    void (*cupsRasterClose)(cups_raster_t*);
    unsigned (*cupsRasterReadHeader2)(cups_raster_t*, cups_page_header2_t*);
    cups_raster_t* (*cupsRasterOpen)(int, cups_mode_t);
    // main library
    void (*ppdClose)(ppd_file_t*);
    ppd_file_t* (*ppdOpenFile)(const char*);
    const char* (*ppdLocalizeIPPReason)(ppd_file_t*, const char*, const char*, char*, size_t);
    const char* (*cupsGetOption)(const char*, int, cups_option_t*);
    int (*cupsParseOptions)(const char*, int, cups_option_t**);
    cups_sc_status_t (*cupsSideChannelDoRequest)(cups_sc_command_t, char*, int*, double);
    int (*cupsTempFd)(char*, int);
    // releases what cupsParseOptions made, from the same library copy
    void (*cupsFreeOptions)(int, cups_option_t*);
};

extern CupsFunctions cups;

extern const char* const kCupsImageLibraryPath;  // "/usr/lib/libcupsimage.so"
extern const char* const kCupsLibraryPath;       // "/usr/lib/libcups.so"

// Bind the four raster functions / the eight main-library functions.
// Each returns 1 when its library was loaded, 0 when the linked functions
// were taken. A loaded library that lacks a name falls back to the linked
// function for that name, so no pointer is ever left null.
int BindCupsImageLibrary();
int BindCupsLibrary();
// Closes both library handles (clean-up); the table holds the linked
// functions again, as it does before anything is bound.
void UnbindCupsLibraries();
