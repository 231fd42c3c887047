#pragma once

#include <string>

#include "host/data/variant.h"
#include "host/net/net_connection.h"

namespace host {

// The history of approval cancellations is read from the order application
// server program through a server object of its own name, so a screen that
// only reads history holds no cancellation methods.
inline constexpr const char* histCancAprovServerName = "ORE06110.rdmHistCancAprov";

// The read-only history methods. Every method returns the raw answer for
// CheckResultServ. A refusal raises host::Exception with exactly the
// server's text; an unreachable server raises host::Exception naming the
// address.
class IRdmHistCancAprov : public IAppServer {
public:
    // The records of the period (whole days, zero: open end) matching the
    // codes given (empty: any), newest first; Truncated comes back true when
    // the server cut the list at its cap.
    virtual Variant GetHistCancAprov(TDateTime DtIni, TDateTime DtFin, const std::string& CDFILIAL,
                                     const std::string& CDOPERADOR, const std::string& CDJUSTEXCHIS,
                                     const std::string& IDRESULTADO, bool& Truncated) = 0;
    // [receivables packet, sales orders packet]: the copies of what the
    // record's operation removed.
    virtual Variant GetHistCancAprovDoc(const std::string& IDHISTCANC) = 0;
};

}  // namespace host
