#include "LdapSearch.h"
#include "LdapSignIn.h"

// clang-format off
#include <windows.h>
#include <winldap.h>
// clang-format on

namespace {

// The wide-character calls, so that a base or filter outside the ANSI code page goes through whole.
std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], n);
    return wide;
}

std::string Narrow(const wchar_t* wide) {
    if (!wide || !wide[0]) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, &text[0], n, nullptr, nullptr);
    text.resize(static_cast<std::size_t>(n) - 1);
    return text;
}

std::string Why(ULONG rc) { return Narrow(ldap_err2stringW(rc)) + " (" + std::to_string(rc) + ")"; }

struct Connection {
    LDAP* ld = nullptr;
    ~Connection() {
        if (ld) ldap_unbind(ld);
    }
};

std::string FirstValue(LDAP* ld, LDAPMessage* entry, const std::string& attribute) {
    std::wstring name = Wide(attribute);
    berval** values = ldap_get_values_lenW(ld, entry, &name[0]);
    if (!values) return std::string();
    std::string value = values[0] ? std::string(values[0]->bv_val, values[0]->bv_len) : std::string();
    ldap_value_free_len(values);
    return value;
}

bool Connect(const LdapServer& server, const LdapSettings& settings, const std::string& bindDn,
             const std::string& secret, Connection& c, std::string& error, LdapTrouble& trouble) {
    trouble = server.secure ? LdapTrouble::NoAnswerOrCertificate : LdapTrouble::NoAnswer;
    std::wstring host = Wide(server.host);
    // An ldaps:// server's certificate is checked against the machine's certificate store.
    c.ld = ldap_sslinitW(&host[0], server.port, server.secure ? 1 : 0);
    if (!c.ld) {
        error = Why(LdapGetLastError());
        return false;
    }
    ULONG version = LDAP_VERSION3;
    ldap_set_optionW(c.ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    ldap_set_optionW(c.ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
    l_timeval timeout = {LdapTimeoutSeconds, 0};
    ULONG rc = ldap_connect(c.ld, &timeout);
    if (rc != LDAP_SUCCESS) {
        error = Why(rc);
        return false;
    }
    if (settings.startTls && !server.secure) {
        ULONG answer = 0;
        if ((rc = ldap_start_tls_sW(c.ld, &answer, nullptr, nullptr, nullptr)) != LDAP_SUCCESS) {
            error = "StartTLS: " + Why(rc);
            trouble = rc == LDAP_SERVER_DOWN ? LdapTrouble::NoAnswer : LdapTrouble::Certificate;
            return false;
        }
    }
    std::wstring dn = Wide(bindDn), password = Wide(secret);
    rc = ldap_simple_bind_sW(c.ld, dn.empty() ? nullptr : &dn[0], password.empty() ? nullptr : &password[0]);
    if (!password.empty()) SecureZeroMemory(&password[0], password.size() * sizeof(wchar_t));
    if (rc == LDAP_SUCCESS) return true;
    error = BindError(bindDn, Why(rc));
    trouble = rc == LDAP_INVALID_CREDENTIALS ? LdapTrouble::Password
              : rc == LDAP_SERVER_DOWN       ? trouble
                                             : LdapTrouble::Refused;
    return false;
}

class Wldap32Link : public LdapLink {
public:
    Connection c;
    bool Search(const std::string& base, bool baseOnly, const std::string& filter,
                const std::vector<std::string>& attributes, std::size_t limit, std::vector<LdapFound>& found,
                std::string& error) override {
        std::vector<std::wstring> names;
        for (const std::string& name : attributes) names.push_back(Wide(name));
        if (names.empty()) names.push_back(L"1.1");
        std::vector<PWCHAR> asked;
        for (std::wstring& name : names) asked.push_back(&name[0]);
        asked.push_back(nullptr);
        std::wstring where = Wide(base), wideFilter = Wide(filter);
        LDAPMessage* result = nullptr;
        l_timeval timeout = {LdapTimeoutSeconds, 0};
        ULONG rc = ldap_search_ext_sW(c.ld, where.empty() ? nullptr : &where[0],
                                      baseOnly ? LDAP_SCOPE_BASE : LDAP_SCOPE_SUBTREE, &wideFilter[0], asked.data(), 0,
                                      nullptr, nullptr, &timeout, static_cast<ULONG>(limit), &result);
        // More than the limit is an answer too: the caller asked to know that there are more.
        if (rc != LDAP_SUCCESS && rc != LDAP_SIZELIMIT_EXCEEDED && rc != LDAP_NO_SUCH_OBJECT) {
            if (result) ldap_msgfree(result);
            error = "search under \"" + base + "\": " + Why(rc);
            return false;
        }
        for (LDAPMessage* e = result ? ldap_first_entry(c.ld, result) : nullptr; e; e = ldap_next_entry(c.ld, e)) {
            LdapFound entry;
            PWCHAR dn = ldap_get_dnW(c.ld, e);
            entry.dn = dn ? Narrow(dn) : "";
            if (dn) ldap_memfreeW(dn);
            for (std::size_t i = 0; i < attributes.size(); ++i) {
                berval** values = ldap_get_values_lenW(c.ld, e, &names[i][0]);
                for (int v = 0; values && values[v]; ++v)
                    entry.values[attributes[i]].push_back(std::string(values[v]->bv_val, values[v]->bv_len));
                if (values) ldap_value_free_len(values);
            }
            found.push_back(entry);
        }
        if (result) ldap_msgfree(result);
        return true;
    }
};

}  // namespace

std::unique_ptr<LdapLink> OpenLdapLink(const LdapServer& server, const LdapSettings& settings, const std::string& dn,
                                       const std::string& password, std::string& error, LdapTrouble& trouble) {
    std::unique_ptr<Wldap32Link> link(new Wldap32Link);
    if (!Connect(server, settings, dn, password, link->c, error, trouble)) return nullptr;
    return std::unique_ptr<LdapLink>(link.release());
}

bool SearchLdapServer(const LdapServer& server, const LdapSettings& settings, std::vector<StaffEntry>& entries,
                      std::string& error, LdapTrouble& trouble) {
    Connection c;
    if (!Connect(server, settings, settings.bindDn, settings.password, c, error, trouble)) return false;
    trouble = LdapTrouble::Search;
    std::wstring base = Wide(settings.base), filter = Wide(settings.filter);
    std::wstring names[] = {Wide(settings.nameAttribute), Wide(settings.displayNameAttribute),
                            Wide(settings.groupAttribute), Wide(settings.phoneAttribute)};
    PWCHAR attributes[] = {&names[0][0], &names[1][0], &names[2][0], &names[3][0], nullptr};
    berval* cookie = nullptr;
    do {
        PLDAPControlW page = nullptr;
        ULONG rc = ldap_create_page_controlW(c.ld, LdapPageSize, cookie, 0, &page);
        if (cookie) ber_bvfree(cookie);
        cookie = nullptr;
        if (rc != LDAP_SUCCESS) {
            error = "paging: " + Why(rc);
            return false;
        }
        PLDAPControlW controls[] = {page, nullptr};
        LDAPMessage* result = nullptr;
        l_timeval timeout = {LdapTimeoutSeconds, 0};
        rc = ldap_search_ext_sW(c.ld, base.empty() ? nullptr : &base[0], LDAP_SCOPE_SUBTREE, &filter[0], attributes, 0,
                                controls, nullptr, &timeout, 0, &result);
        ldap_control_freeW(page);
        if (rc != LDAP_SUCCESS) {
            if (result) ldap_msgfree(result);
            error = SearchError(settings, Why(rc), rc == LDAP_SIZELIMIT_EXCEEDED, entries.size());
            return false;
        }
        for (LDAPMessage* e = ldap_first_entry(c.ld, result); e; e = ldap_next_entry(c.ld, e)) {
            StaffEntry entry = LdapEntry(settings, [&](const std::string& a) { return FirstValue(c.ld, e, a); });
            PWCHAR dn = ldap_get_dnW(c.ld, e);
            entry.where = dn ? Narrow(dn) : "?";
            if (dn) ldap_memfreeW(dn);
            entries.push_back(entry);
        }
        ULONG code = LDAP_SUCCESS;
        PLDAPControlW* answered = nullptr;
        ldap_parse_resultW(c.ld, result, &code, nullptr, nullptr, nullptr, &answered, TRUE);
        ULONG estimate = 0;
        if (answered && ldap_parse_page_controlW(c.ld, answered, &estimate, &cookie) != LDAP_SUCCESS) cookie = nullptr;
        if (answered) ldap_controls_freeW(answered);
    } while (cookie && cookie->bv_len);
    if (cookie) ber_bvfree(cookie);
    return true;
}
