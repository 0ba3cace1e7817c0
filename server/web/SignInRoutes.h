// Sign-in over the web view: POST /sign-in, POST /sign-out, GET /me, and who
// may change which row once people sign in.
#pragma once

#include "WebRoutes.h"

bool IsSignInRoute(const WebRequest& request);   // POST /sign-in
bool IsSignOutRoute(const WebRequest& request);  // POST /sign-out

// /sign-in before its password is checked: the answer when it is refused
// already (a bad body, a guard shut), else status 0 with the name, password
// and keep taken from the body.
WebResponse SignInRefusal(const WebRequest& request, const WebSources& sources, std::string& name,
                          std::string& password, bool& keep);
// The answer once the check is done, guards told on the web thread.
WebResponse SignInAnswer(const WebRequest& request, const WebSources& sources, const std::string& name,
                         SignInVerdict right, const std::string& token, bool keep);
WebResponse SignOutAnswer(const WebRequest& request, const WebSources& sources);
WebResponse MeAnswer(const WebRequest& request, const WebSources& sources);

// Where only signed-in people see the board: the refusal of a request that
// has neither a session nor a wall's key, else status 0.
WebResponse ViewRefusal(const WebRequest& request, const WebSources& sources);

// With sign-in: the refusal of a change to row `name` (a removal when
// `remove`), or status 0 with `who` the person making it.
WebResponse ChangeRefusal(const WebRequest& request, const WebSources& sources, const std::string& name, bool remove,
                          SignedIn& who);
