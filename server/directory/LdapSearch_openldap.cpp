#include "LdapSearch.h"
#include "LdapSignIn.h"

#include <ldap.h>

namespace {

struct Connection {
    LDAP* ld = nullptr;
    ~Connection() {
        if (ld) ldap_unbind_ext_s(ld, nullptr, nullptr);
    }
};

std::string Why(LDAP* ld, int rc) {
    std::string text = ldap_err2string(rc);
    char* detail = nullptr;
    if (ld && ldap_get_option(ld, LDAP_OPT_DIAGNOSTIC_MESSAGE, &detail) == LDAP_OPT_SUCCESS && detail) {
        if (detail[0] && std::string(detail) != "(unknown error code)") text += " (" + std::string(detail) + ")";
        ldap_memfree(detail);
    }
    return text;
}

std::string FirstValue(LDAP* ld, LDAPMessage* entry, const std::string& attribute) {
    berval** values = ldap_get_values_len(ld, entry, attribute.c_str());
    if (!values) return std::string();
    std::string value = values[0] ? std::string(values[0]->bv_val, values[0]->bv_len) : std::string();
    ldap_value_free_len(values);
    return value;
}

bool Connect(const LdapServer& server, const LdapSettings& settings, const std::string& dn, const std::string& secret,
             Connection& c, std::string& error, LdapTrouble& trouble) {
    trouble = LdapTrouble::NoAnswer;
    int rc = ldap_initialize(&c.ld, server.url.c_str());
    if (rc != LDAP_SUCCESS) {
        error = Why(nullptr, rc);
        return false;
    }
    const int version = LDAP_VERSION3;
    timeval timeout = {LdapTimeoutSeconds, 0};
    ldap_set_option(c.ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    ldap_set_option(c.ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
    ldap_set_option(c.ld, LDAP_OPT_NETWORK_TIMEOUT, &timeout);
    ldap_set_option(c.ld, LDAP_OPT_TIMEOUT, &timeout);
    if (server.secure || settings.startTls) {
        const int demand = LDAP_OPT_X_TLS_DEMAND, fresh = 0;
        ldap_set_option(c.ld, LDAP_OPT_X_TLS_REQUIRE_CERT, &demand);
        if (!settings.caFile.empty()) ldap_set_option(c.ld, LDAP_OPT_X_TLS_CACERTFILE, settings.caFile.c_str());
        ldap_set_option(c.ld, LDAP_OPT_X_TLS_NEWCTX, &fresh);  // this connection's own TLS settings
    }
    if (settings.startTls && !server.secure && (rc = ldap_start_tls_s(c.ld, nullptr, nullptr)) != LDAP_SUCCESS) {
        error = "StartTLS: " + Why(c.ld, rc);
        if (rc == LDAP_CONNECT_ERROR) trouble = LdapTrouble::Certificate;
        if (rc == LDAP_CONNECT_ERROR)
            error += " (is its certificate signed by a CA in " +
                     (settings.caFile.empty() ? std::string("the system's store") : settings.caFile) + "?)";
        return false;
    }
    berval password;
    password.bv_val = const_cast<char*>(secret.c_str());
    password.bv_len = secret.size();
    rc = ldap_sasl_bind_s(c.ld, dn.empty() ? nullptr : dn.c_str(), LDAP_SASL_SIMPLE, &password, nullptr, nullptr,
                          nullptr);
    if (rc != LDAP_SUCCESS) {
        error = BindError(dn, Why(c.ld, rc));
        const bool down = rc == LDAP_SERVER_DOWN || rc == LDAP_CONNECT_ERROR || rc == LDAP_TIMEOUT;
        trouble = rc == LDAP_INVALID_CREDENTIALS ? LdapTrouble::Password
                  : !down                        ? LdapTrouble::Refused
                  : server.secure                ? LdapTrouble::NoAnswerOrCertificate
                                                 : LdapTrouble::NoAnswer;
        // libldap says no more than this when the TLS handshake fails.
        if ((server.secure || settings.startTls) && (rc == LDAP_SERVER_DOWN || rc == LDAP_CONNECT_ERROR))
            error += " (or its certificate is not signed by a CA in " +
                     (settings.caFile.empty() ? std::string("the system's store") : settings.caFile) + ")";
        return false;
    }
    return true;
}

class OpenLdapLink_ : public LdapLink {
public:
    Connection c;
    bool Search(const std::string& base, bool baseOnly, const std::string& filter,
                const std::vector<std::string>& attributes, std::size_t limit, std::vector<LdapFound>& found,
                std::string& error) override {
        std::vector<std::string> names = attributes.empty() ? std::vector<std::string>{"1.1"} : attributes;
        std::vector<char*> asked;
        for (std::string& name : names) asked.push_back(&name[0]);
        asked.push_back(nullptr);
        LDAPMessage* result = nullptr;
        timeval timeout = {LdapTimeoutSeconds, 0};
        int rc = ldap_search_ext_s(c.ld, base.c_str(), baseOnly ? LDAP_SCOPE_BASE : LDAP_SCOPE_SUBTREE, filter.c_str(),
                                   asked.data(), 0, nullptr, nullptr, &timeout, static_cast<int>(limit), &result);
        // More than the limit is an answer too: the caller asked to know that there are more.
        if (rc != LDAP_SUCCESS && rc != LDAP_SIZELIMIT_EXCEEDED && rc != LDAP_NO_SUCH_OBJECT) {
            if (result) ldap_msgfree(result);
            error = "search under \"" + base + "\": " + Why(c.ld, rc);
            return false;
        }
        for (LDAPMessage* e = result ? ldap_first_entry(c.ld, result) : nullptr; e; e = ldap_next_entry(c.ld, e)) {
            LdapFound entry;
            char* dn = ldap_get_dn(c.ld, e);
            entry.dn = dn ? dn : "";
            ldap_memfree(dn);
            for (const std::string& name : attributes) {
                berval** values = ldap_get_values_len(c.ld, e, name.c_str());
                for (int i = 0; values && values[i]; ++i)
                    entry.values[name].push_back(std::string(values[i]->bv_val, values[i]->bv_len));
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
    std::unique_ptr<OpenLdapLink_> link(new OpenLdapLink_);
    if (!Connect(server, settings, dn, password, link->c, error, trouble)) return nullptr;
    return std::unique_ptr<LdapLink>(link.release());
}

bool SearchLdapServer(const LdapServer& server, const LdapSettings& settings, std::vector<StaffEntry>& entries,
                      std::string& error, LdapTrouble& trouble) {
    Connection c;
    if (!Connect(server, settings, settings.bindDn, settings.password, c, error, trouble)) return false;
    trouble = LdapTrouble::Search;
    std::vector<std::string> names = {settings.nameAttribute, settings.displayNameAttribute, settings.groupAttribute,
                                      settings.phoneAttribute};
    char* attributes[] = {&names[0][0], &names[1][0], &names[2][0], &names[3][0], nullptr};
    berval cookie = {0, nullptr};
    do {
        LDAPControl* page = nullptr;
        int rc = ldap_create_page_control(c.ld, LdapPageSize, cookie.bv_val ? &cookie : nullptr, 0, &page);
        ldap_memfree(cookie.bv_val);
        cookie = {0, nullptr};
        if (rc != LDAP_SUCCESS) {
            error = "paging: " + Why(c.ld, rc);
            return false;
        }
        LDAPControl* controls[] = {page, nullptr};
        LDAPMessage* result = nullptr;
        timeval timeout = {LdapTimeoutSeconds, 0};
        rc = ldap_search_ext_s(c.ld, settings.base.c_str(), LDAP_SCOPE_SUBTREE, settings.filter.c_str(), attributes, 0,
                               controls, nullptr, &timeout, LDAP_NO_LIMIT, &result);
        ldap_control_free(page);
        if (rc != LDAP_SUCCESS) {
            if (result) ldap_msgfree(result);
            error = SearchError(settings, Why(c.ld, rc), rc == LDAP_SIZELIMIT_EXCEEDED, entries.size());
            return false;
        }
        for (LDAPMessage* e = ldap_first_entry(c.ld, result); e; e = ldap_next_entry(c.ld, e)) {
            StaffEntry entry = LdapEntry(settings, [&](const std::string& a) { return FirstValue(c.ld, e, a); });
            char* dn = ldap_get_dn(c.ld, e);
            entry.where = dn ? dn : "?";
            ldap_memfree(dn);
            entries.push_back(entry);
        }
        LDAPControl** answered = nullptr;
        int code = LDAP_SUCCESS;
        ldap_parse_result(c.ld, result, &code, nullptr, nullptr, nullptr, &answered, 1);
        LDAPControl* more = answered ? ldap_control_find(LDAP_CONTROL_PAGEDRESULTS, answered, nullptr) : nullptr;
        ber_int_t estimate = 0;
        if (more && ldap_parse_pageresponse_control(c.ld, more, &estimate, &cookie) != LDAP_SUCCESS)
            cookie = {0, nullptr};
        ldap_controls_free(answered);
    } while (cookie.bv_val && cookie.bv_len);
    ldap_memfree(cookie.bv_val);
    return true;
}
