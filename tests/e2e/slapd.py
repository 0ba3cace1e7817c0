"""A real OpenLDAP server for the tests: Debian's slapd from its own config in
a temporary folder, on loopback ports, filled with slapadd; TLS with a CA and
server certificate made here with openssl."""
import os
import shutil
import subprocess

from desktop import free_port, wait_listening

SUFFIX = 'dc=example,dc=com'
SERVICE_DN = 'cn=pegora,' + SUFFIX
SERVICE_PASSWORD = 'board reader'
# The OpenLDAP settings the service is given: inetOrgPerson people, a disabled
# account marked by employeeType.
SETTINGS = ('LdapBase = ou=people,%s\nLdapFilter = (&(objectClass=inetOrgPerson)(!(employeeType=disabled)))\n'
            'LdapNameAttribute = uid\nLdapGroupAttribute = departmentNumber\n' % SUFFIX)


def person(uid, display, group, phone='', disabled=False, password=None):
    lines = ['dn: uid=%s,ou=people,%s' % (uid, SUFFIX), 'objectClass: inetOrgPerson', 'uid: ' + uid,
             'cn: ' + display, 'sn: ' + display.split()[-1], 'displayName: ' + display]
    lines += ['departmentNumber: ' + group] if group else []
    lines += ['telephoneNumber: ' + phone] if phone else []
    lines += ['employeeType: disabled'] if disabled else []
    lines += ['userPassword: ' + password] if password else []
    return '\n'.join(lines) + '\n'


def groups(*nested):
    """Groups under ou=groups, each (name, members): a member is a uid or another group's name."""
    lines = ['dn: ou=groups,%s\nobjectClass: organizationalUnit\nou: groups\n' % SUFFIX]
    names = {name for name, _ in nested}
    for name, members in nested:
        dns = ['cn=%s,ou=groups,%s' % (m, SUFFIX) if m in names else 'uid=%s,ou=people,%s' % (m, SUFFIX)
               for m in members]
        lines.append('dn: cn=%s,ou=groups,%s\nobjectClass: groupOfNames\ncn: %s\n' % (name, SUFFIX, name) +
                     ''.join('member: %s\n' % dn for dn in dns))
    return '\n'.join(lines)


def certificates(folder, name):
    """A CA and a server certificate for 127.0.0.1 signed by it: (ca, cert, key)."""
    ca, ca_key = os.path.join(folder, name + '-ca.pem'), os.path.join(folder, name + '-ca.key')
    cert, key, csr = (os.path.join(folder, name + x) for x in ('-server.pem', '-server.key', '.csr'))
    ext = os.path.join(folder, name + '.ext')
    with open(ext, 'w') as f:
        f.write('subjectAltName = IP:127.0.0.1, DNS:localhost\n')
    run = lambda *a: subprocess.run(['openssl'] + list(a), check=True, capture_output=True)  # noqa: E731
    run('req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-keyout', ca_key, '-out', ca, '-days', '2',
        '-subj', '/CN=%s test CA' % name)
    run('req', '-newkey', 'rsa:2048', '-nodes', '-keyout', key, '-out', csr, '-subj', '/CN=127.0.0.1')
    run('x509', '-req', '-in', csr, '-CA', ca, '-CAkey', ca_key, '-CAcreateserial', '-out', cert, '-days', '2',
        '-extfile', ext)
    os.chmod(key, 0o644)
    return ca, cert, key


class Slapd:
    def __init__(self, folder, people_ldif, tls=None):
        self.folder = folder
        self.port, self.tls_port = free_port(), free_port()
        self.url = 'ldap://127.0.0.1:%d' % self.port
        self.ldaps = 'ldaps://127.0.0.1:%d' % self.tls_port
        db = os.path.join(folder, 'db')
        os.makedirs(db, exist_ok=True)
        self.config = os.path.join(folder, 'slapd.conf')
        schema = ''.join('include /etc/ldap/schema/%s.schema\n' % s for s in ('core', 'cosine', 'inetorgperson'))
        tls_lines = ('TLSCACertificateFile %s\nTLSCertificateFile %s\nTLSCertificateKeyFile %s\n' % tls) if tls else ''
        with open(self.config, 'w') as f:
            f.write(schema + 'modulepath /usr/lib/ldap\nmoduleload back_mdb\npidfile %s/slapd.pid\n%s'
                    # Active Directory's page limit: 1,000 per search, unlimited when paged.
                    'sizelimit size.soft=1000 size.hard=1000 size.prtotal=unlimited\n'
                    'database mdb\nmaxsize 200000000\nsuffix "%s"\nrootdn "cn=admin,%s"\nrootpw secret\n'
                    'directory %s\naccess to attrs=userPassword by anonymous auth by * none\n'
                    'access to * by * read\n' % (folder, tls_lines, SUFFIX, SUFFIX, db))
        base = ('dn: %s\nobjectClass: dcObject\nobjectClass: organization\no: Example\ndc: example\n\n'
                'dn: ou=people,%s\nobjectClass: organizationalUnit\nou: people\n\n'
                'dn: %s\nobjectClass: organizationalRole\nobjectClass: simpleSecurityObject\ncn: pegora\n'
                'userPassword: %s\n\n' % (SUFFIX, SUFFIX, SERVICE_DN, SERVICE_PASSWORD))
        ldif = os.path.join(folder, 'people.ldif')
        with open(ldif, 'w') as f:
            f.write(base + people_ldif)
        subprocess.run(['slapadd', '-q', '-f', self.config, '-l', ldif], check=True, capture_output=True)
        self.urls = self.url + '/' + (' %s/' % self.ldaps if tls else '')
        self.process = None
        self.start()

    def start(self):
        self.process = subprocess.Popen(['slapd', '-f', self.config, '-h', self.urls, '-d', '0'],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not wait_listening(self.port, 20):
            raise RuntimeError('slapd did not start')

    def stop(self):
        if self.process:
            self.process.terminate()
            self.process.wait(20)
            self.process = None

    def modify(self, ldif):
        subprocess.run(['ldapmodify', '-x', '-H', self.url, '-D', 'cn=admin,' + SUFFIX, '-w', 'secret'],
                       input=ldif.encode(), check=True, capture_output=True)

    def close(self):
        self.stop()
        shutil.rmtree(self.folder, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *failure):
        self.close()
