// Lists a queue's options as a print dialog shows them: the PPD taken from
// the scheduler (CUPS_SERVER), in the language of LANG, one option a line:
//   Keyword/Text: *Default/Text Choice/Text ...
// lpoptions -l shows only keywords; dialogs localise the PPD themselves.
//   queue_options QUEUE
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

#include <cups/cups.h>
#include <cups/ppd.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: queue_options QUEUE\n");
        return 2;
    }
    const char* file = cupsGetPPD2(CUPS_HTTP_DEFAULT, argv[1]);
    if (!file) {
        std::fprintf(stderr, "queue_options: no PPD for %s: %s\n", argv[1], cupsLastErrorString());
        return 1;
    }
    ppd_file_t* ppd = ppdOpenFile(file);
    unlink(file);
    if (!ppd) {
        std::fprintf(stderr, "queue_options: cannot read the PPD of %s\n", argv[1]);
        return 1;
    }
    ppdLocalize(ppd);
    ppdMarkDefaults(ppd);
    for (ppd_option_t* o = ppdFirstOption(ppd); o; o = ppdNextOption(ppd)) {
        if (std::strcmp(o->keyword, "PageRegion") == 0)
            continue;  // PageSize's twin, never shown
        std::printf("%s/%s:", o->keyword, o->text);
        for (int i = 0; i < o->num_choices; i++) {
            const ppd_choice_t& c = o->choices[i];
            std::printf(" %s%s/%s", c.marked ? "*" : "", c.choice, c.text);
        }
        std::printf("\n");
    }
    ppdClose(ppd);
    return 0;
}
