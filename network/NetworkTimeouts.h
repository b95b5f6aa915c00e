#pragma once

// Bounds on the blocking network calls. Every download runs on the user-interface
// thread (the start-up check before the window exists, each statistics query
// while it is shown), so these decide how long the program can freeze.
//
// A server that is down costs at most the connect bound (10 s); one that accepts
// and then says nothing costs the time to connect plus the receive bound, about
// 10 s, and no more than about 20 s even when the connection itself was slow.
// The receive bound is an idle limit per receive, not a limit on the whole
// download: a large update archive on a slow link still completes.
constexpr unsigned long kConnectTimeoutMs = 10000;
constexpr unsigned long kReceiveTimeoutMs = 10000;
