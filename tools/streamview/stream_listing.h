// Text forms of a decoded stream: the full listing and the one-line-per-page
// summary.
#pragma once

#include <ostream>
#include <string>

#include "stream_model.h"

namespace streamview {

// Documents, pages and every item with its named fields, in stream order.
void PrintListing(std::ostream& out, const StreamResult& result);

// One line per page:
//   doc=D seq=S platform=P page=N paper=C size=WxH bpp=B copies=K duplex=M black=X
// page is the page number the stream carries (platforms 1 and 2) or the
// page's position in its document (platform 3); size and black are "-" for
// a page without image; duplex is simplex, duplex or manual.
void PrintSummary(std::ostream& out, const StreamResult& result);
std::string SummaryLine(const Document& doc, int docNumber, const Page& page);

// "name  field=value ..." for one item.
std::string FormatItem(const Item& item);

}  // namespace streamview
