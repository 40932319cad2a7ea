// The client's header keeps the generated code out of the programs that
// use it (the console, kt64ctl, the synchronisation programs): a file that
// includes it alone must compile none of the interface's messages, or each
// of them rebuilds whenever the interface changes. Checked when this file
// compiles; it has nothing to run.
#include "Kt64Client.h"

#ifdef GOOGLE_PROTOBUF_INCLUDED_Kt64Srv_2eproto
#error "Kt64Client.h includes the generated Kt64Srv.pb.h"
#endif
