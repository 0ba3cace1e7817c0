#include "AccountsFile.h"
#include "PasswordHash.h"
#include "ServiceFixture.h"

namespace {

// The session's token from a sign-in's answer; empty when it set none.
std::string TokenOf(const std::string& answer) {
    const std::string start = "Set-Cookie: __Host-pegora=";
    const std::size_t at = answer.find(start);
    return at == std::string::npos ? std::string() : answer.substr(at + start.size(), 64);
}

}  // namespace

// Signed in with a local account: a person changes their own row and no
// other, reception anyone's; every change carries its author; a wrong name and
// a wrong password are one answer, three for one account shut it out; a
// session survives a restart and ends at sign-out.
TEST_F(ServiceTest, PeopleSignInAndChangeWhatTheirRoleAllows) {
    std::string nina, bert;
    ASSERT_TRUE(HashPassword("tulip garden", nina, 1000));
    ASSERT_TRUE(HashPassword("kettle 7", bert, 1000));
    config.webAccountsFile = Folder() + "accounts";
    std::ofstream(config.webAccountsFile) << AccountsText({{"Nina", true, nina}, {"bert", false, bert}});
    config.webSignIn = "accounts";
    config.webUpdates = true;
    config.logChanges = true;
    config.historyDays = 30;
    BoardService& s = Start();
    s.Board().webUpdates = true;
    UpdateSettings updates;
    updates.on = true;
    s.Web().SetUpdates(updates);
    std::string error;
    ASSERT_TRUE(s.Web().Start(0, error)) << error;
    const std::uint16_t web = s.Web().Port();

    const std::string signedIn = PagePost(web, "/sign-in", R"({"name":"BERT","password":"kettle 7"})");
    const std::string token = TokenOf(signedIn);
    ASSERT_EQ(token.size(), 64u) << signedIn;
    EXPECT_NE(signedIn.find("; Secure; HttpOnly; SameSite=Strict; Path=/\r\n"), std::string::npos) << signedIn;
    EXPECT_NE(HttpGet(web, "/me", "Cookie: __Host-pegora=" + token + "\r\n").find(R"({"displayName":"bert",)"),
              std::string::npos);
    EXPECT_NE(PagePost(web, "/status", R"({"name":"bert","status":2,"message":"lunch"})", token).find("200 OK"),
              std::string::npos);
    EXPECT_NE(PagePost(web, "/status", R"({"name":"Nina","status":2})", token)
                  .find("You can change your own row; reception can change others."),
              std::string::npos);
    EXPECT_NE(PagePost(web, "/remove", R"({"name":"bert"})", token).find("Only reception can remove a row."),
              std::string::npos);
    EXPECT_NE(PagePost(web, "/status", R"({"name":"bert","status":1,"code":"guess"})").find("Sign in first."),
              std::string::npos)
        << "no code stands in for a session";
    EXPECT_NE(HttpGet(web, "/me", "Cookie: __Host-pegora=" + std::string(64, 'a') + "\r\n").find("401"),
              std::string::npos)
        << "a session id the board never gave is nobody";
    // A session id planted before the sign-in is never the one it gives, nor is the last one.
    const std::string planted(64, 'b');
    const std::string fresh = TokenOf(PagePost(web, "/sign-in", R"({"name":"bert","password":"kettle 7"})", planted));
    EXPECT_TRUE(fresh.size() == 64 && fresh != planted && fresh != token) << fresh;
    EXPECT_NE(HttpGet(web, "/me", "Cookie: __Host-pegora=" + planted + "\r\n").find("401"), std::string::npos);
    EXPECT_NE(HttpAsk(web, "POST", "/sign-in", "Content-Type: application/json\r\nOrigin: https://evil.example\r\n",
                      R"({"name":"bert","password":"kettle 7"})")
                  .find("403 Forbidden"),
              std::string::npos)
        << "a form on another site cannot sign anybody in";

    // Wrong names and passwords: one answer; the third for an account shuts it out before any check.
    for (const char* body : {R"({"name":"nobody","password":"x"})", R"({"name":"Nina","password":"x"})",
                             R"({"name":"Nina","password":"y"})"})
        EXPECT_NE(PagePost(web, "/sign-in", body).find("401 Unauthorized\r\n"), std::string::npos) << body;
    EXPECT_NE(PagePost(web, "/sign-in", R"({"name":"Nina","password":""})").find("The password is missing."),
              std::string::npos);
    EXPECT_NE(PagePost(web, "/sign-in", R"({"name":"Nina","password":"z"})").find("401"), std::string::npos)
        << "the third wrong one is still checked";
    EXPECT_NE(PagePost(web, "/sign-in", R"({"name":"nina","password":"tulip garden"})").find("429"), std::string::npos)
        << "shut out even with the right password, until the time is up";
    EXPECT_EQ(s.Stop(), 0);

    // A restart signs nobody out; reception sets another's row, which then names its author.
    std::ofstream(config.webAccountsFile)
        << AccountsText({{"Nina", true, nina}, {"bert", false, bert}, {"Cleo", true, nina}});
    BoardService& again = Start();
    again.Board().webUpdates = true;
    again.Web().SetUpdates(updates);
    ASSERT_TRUE(again.Web().Start(0, error)) << error;
    const std::uint16_t port = again.Web().Port();
    EXPECT_NE(HttpGet(port, "/me", "Cookie: __Host-pegora=" + token + "\r\n").find("200 OK"), std::string::npos);
    const std::string cleo = TokenOf(PagePost(port, "/sign-in", R"({"name":"cleo","password":"tulip garden"})"));
    ASSERT_FALSE(cleo.empty());
    EXPECT_NE(PagePost(port, "/status", R"({"name":"bert","status":3,"message":"dentist"})", cleo).find("200 OK"),
              std::string::npos);
    EXPECT_NE(HttpGet(port, "/board.json").find(R"("setBy":{"name":"Cleo","displayName":"Cleo","at":)"),
              std::string::npos)
        << HttpGet(port, "/board.json");
    ASSERT_TRUE(
        TickUntil([&] { return host.Count("bert: out -> other, set from a browser, by Cleo, from 127.0.0.1"); }));
    const std::string roll = HttpGet(port, "/roll.csv");
    EXPECT_NE(roll.find(",\"Last heard\",\"Set by\"\r\n\"Other\",\"bert\",\"other\",\"dentist\","), std::string::npos)
        << roll;
    EXPECT_NE(roll.find(",\"Cleo\"\r\n"), std::string::npos) << roll;
    const std::string history = HttpGet(port, "/history?name=bert", "Cookie: __Host-pegora=" + token + "\r\n");
    EXPECT_NE(history.find(R"("source":"browser","from":"127.0.0.1","by":"Cleo")"), std::string::npos) << history;
    EXPECT_NE(HttpGet(port, "/history?name=Nina", "Cookie: __Host-pegora=" + token + "\r\n").find("403"),
              std::string::npos)
        << "a person reads only their own row's history";
    // Plans follow the same rights, and carry their author.
    const std::string plan = R"(","start":"2027-01-04","end":"2027-01-08","status":2,"message":"skiing"})";
    EXPECT_NE(PagePost(port, "/plans", R"({"name":"Nina)" + plan, token).find("403"), std::string::npos);
    EXPECT_NE(PagePost(port, "/plans", R"({"name":"bert)" + plan, token).find("201"), std::string::npos);
    EXPECT_NE(PagePost(port, "/plans", R"({"name":"Nina)" + plan, cleo).find("201"), std::string::npos);
    EXPECT_NE(HttpGet(port, "/plans?name=nina&from=2027-01-01", "Cookie: __Host-pegora=" + token + "\r\n")
                  .find(R"("by":"Cleo")"),
              std::string::npos);
    EXPECT_NE(HttpGet(port, "/plans").find("401"), std::string::npos) << "no session, no plans";
    {
        // A session unused for longer than a working day has ended.
        std::unique_ptr<BoardStore> store = BoardStore::Connect(config.stateFile, error);
        ASSERT_TRUE(store && store->TouchSession(Sha256(cleo), NowMs() - SessionIdleMs - 1000, error)) << error;
        EXPECT_NE(HttpGet(port, "/me", "Cookie: __Host-pegora=" + cleo + "\r\n").find("401"), std::string::npos);
    }
    EXPECT_NE(PagePost(port, "/sign-out", "{}", token).find("Max-Age=0"), std::string::npos);
    EXPECT_NE(HttpGet(port, "/me", "Cookie: __Host-pegora=" + token + "\r\n").find("401"), std::string::npos);
    EXPECT_EQ(again.Stop(), 0);
}

// A board shown to signed-in people only: nobody's name without a session or
// a wall's key, health and metrics still open; --renew's new key ends the old
// ones. Behind a named proxy, its word on HTTPS and the sender is believed.
TEST_F(ServiceTest, OnlySignedInPeopleAndWallLinksSeeTheBoard) {
    std::string hash;
    ASSERT_TRUE(HashPassword("kettle 7", hash, 1000));
    config.webAccountsFile = Folder() + "accounts";
    std::ofstream(config.webAccountsFile) << AccountsText({{"bert", false, hash}});
    config.webSignIn = "accounts";
    config.webViewAccess = "signed-in";
    config.webUpdates = true;
    config.logChanges = true;
    BoardService& s = Start();
    s.Board().webUpdates = true;
    UpdateSettings updates;
    updates.on = true;
    s.Web().SetUpdates(updates);
    s.Web().trustedProxies = {"127.0.0.1"};
    std::string error;
    ASSERT_TRUE(s.Web().Start(0, error)) << error;
    const std::uint16_t web = s.Web().Port();

    for (const char* path : {"/board.json", "/roll.csv", "/roll.json?at=2026-12-01T09:00"})
        EXPECT_NE(HttpGet(web, path).find("401 Unauthorized"), std::string::npos) << path;
    for (const char* path : {"/", "/healthz", "/metrics", "/app.js"}) {
        const std::string answer = HttpGet(web, path);
        EXPECT_TRUE(!answer.empty() && answer.compare(0, 12, "HTTP/1.1 401") != 0) << path;
    }
    const std::string proxied =
        "X-Forwarded-Proto: https\r\nX-Forwarded-For: 10.1.2.3\r\nOrigin: https://localhost\r\n";
    const std::string token =
        TokenOf(HttpAsk(web, "POST", "/sign-in", "Content-Type: application/json\r\nX-Pegora-Update: 1\r\n" + proxied,
                        R"({"name":"bert","password":"kettle 7"})"));
    ASSERT_EQ(token.size(), 64u) << "the proxy's https Origin is this board's";
    EXPECT_NE(HttpAsk(web, "POST", "/status",
                      "Content-Type: application/json\r\nX-Pegora-Update: 1\r\nCookie: __Host-pegora=" + token +
                          "\r\n" + proxied,
                      R"({"name":"bert","status":2})")
                  .find("200 OK"),
              std::string::npos);
    ASSERT_TRUE(TickUntil([&] { return host.Count("by bert, from 10.1.2.3"); })) << "the proxy's sender is named";
    EXPECT_NE(HttpGet(web, "/board.json", "Cookie: __Host-pegora=" + token + "\r\n").find("200 OK"), std::string::npos);

    std::unique_ptr<BoardStore> store = BoardStore::Connect(config.stateFile, error);
    ASSERT_TRUE(store && store->AddWallKey(Sha256("first wall"), NowMs(), false, error) &&
                store->AddWallKey(Sha256("second wall"), NowMs(), false, error))
        << error;
    EXPECT_NE(HttpGet(web, "/board.json", "X-Pegora-Wall: first wall\r\n").find("200 OK"), std::string::npos);
    EXPECT_NE(HttpGet(web, "/board.json", "X-Pegora-Wall: other\r\n").find("401"), std::string::npos);
    ASSERT_TRUE(store->AddWallKey(Sha256("renewed"), NowMs(), true, error)) << error;
    for (const char* old : {"first wall", "second wall"})
        EXPECT_NE(HttpGet(web, "/board.json", "X-Pegora-Wall: " + std::string(old) + "\r\n").find("401"),
                  std::string::npos)
            << old;
    EXPECT_NE(HttpGet(web, "/board.json", "X-Pegora-Wall: renewed\r\n").find("200 OK"), std::string::npos);
    EXPECT_EQ(s.Stop(), 0);
}
