"""Real mail and web servers on 127.0.0.1 for the tests of the announcements
sent away from the PC. Run by Debian's Python (/usr/bin/python3, which has
python3-aiosmtpd):

    /usr/bin/python3 notifyservers.py FOLDER

It makes a self-signed certificate for 127.0.0.1 in FOLDER, starts

    smtp      SMTP demanding STARTTLS, AUTH after it (user velkoria, password
              "secret-pass-123"; any other is refused with 535)
    smtps     the same with TLS from the first byte (implicit TLS)
    plain     SMTP without TLS and without AUTH
    https     HTTPS that records every POST
    http      the same without TLS
    dead      a port that takes connections and never answers

prints one line of JSON with their ports and the certificate's path, and
then records each message as FOLDER/mail-N.json and each POST as
FOLDER/post-N.json (written whole, then renamed into place). A POST to
/status/NNN is answered with that status. It ends when its standard input
closes.
"""
import email
import email.policy
import http.server
import json
import os
import socket
import ssl
import subprocess
import sys
import threading

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult

USER = b"velkoria"
PASSWORD = b"secret-pass-123"

folder = sys.argv[1]
counter = {"n": 0}
counter_lock = threading.Lock()


def record(kind, data):
    with counter_lock:
        counter["n"] += 1
        n = counter["n"]
    path = os.path.join(folder, "%s-%d.json" % (kind, n))
    with open(path + ".tmp", "w", encoding="utf-8") as f:
        json.dump(data, f, ensure_ascii=False)
    os.rename(path + ".tmp", path)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def make_certificate():
    cert = os.path.join(folder, "cert.pem")
    key = os.path.join(folder, "key.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1,DNS:localhost",
                    "-keyout", key, "-out", cert], check=True, capture_output=True)
    return cert, key


class Authenticator:
    def __call__(self, server, session, envelope, mechanism, auth_data):
        ok = auth_data.login == USER and auth_data.password == PASSWORD
        return AuthResult(success=ok, handled=False)


class MailHandler:
    def __init__(self, name):
        self.name = name

    async def handle_DATA(self, server, session, envelope):
        message = email.message_from_bytes(envelope.original_content or envelope.content,
                                           policy=email.policy.default)
        body = message.get_body(preferencelist=("plain",))
        record("mail", {
            "server": self.name,
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "tls": server.transport.get_extra_info("ssl_object") is not None,
            "auth": session.authenticated,
            "headers": {k: str(v) for k, v in message.items()},
            "raw_headers": (envelope.original_content or envelope.content).split(b"\r\n\r\n")[0]
            .decode("ascii", "replace"),
            "subject": str(message["subject"]),
            "body": body.get_content().replace("\r\n", "\n") if body is not None else "",
            "charset": body.get_content_charset() if body is not None else "",
        })
        return "250 OK"


class PostHandler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length)
        status = 200
        if self.path.startswith("/status/"):
            status = int(self.path[len("/status/"):].split("?")[0])
        record("post", {
            "path": self.path,
            "tls": isinstance(self.connection, ssl.SSLSocket),
            "headers": {k: v for k, v in self.headers.items()},
            "body": body.decode("utf-8", "replace"),
        })
        self.send_response(status)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", "2")
        self.end_headers()
        self.wfile.write(b"ok")

    def log_message(self, *args):
        pass


def web_server(context):
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), PostHandler)
    if context:
        server.socket = context.wrap_socket(server.socket, server_side=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server.server_address[1]


def main():
    cert, key = make_certificate()
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(cert, key)
    common = dict(hostname="127.0.0.1", authenticator=Authenticator())
    controllers = {
        "smtp": Controller(MailHandler("smtp"), port=free_port(), tls_context=context, require_starttls=True,
                           **common),
        # aiosmtpd counts only STARTTLS as TLS for AUTH: here the whole connection is.
        "smtps": Controller(MailHandler("smtps"), port=free_port(), ssl_context=context, auth_require_tls=False,
                            **common),
        "plain": Controller(MailHandler("plain"), hostname="127.0.0.1", port=free_port()),
    }
    for controller in controllers.values():
        controller.start()
    dead = socket.socket()
    dead.bind(("127.0.0.1", 0))
    dead.listen(64)
    ports = {name: c.port for name, c in controllers.items()}
    ports.update(https=web_server(context), http=web_server(None), dead=dead.getsockname()[1], ca=cert)
    print(json.dumps(ports), flush=True)
    sys.stdin.read()
    for controller in controllers.values():
        controller.stop()


main()
