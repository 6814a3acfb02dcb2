package it.morvale.pkcs11.provider;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNull;

import java.io.BufferedReader;
import java.io.InputStreamReader;
import java.io.OutputStream;
import java.net.InetAddress;
import java.net.Socket;
import java.nio.charset.StandardCharsets;
import java.security.KeyStore;
import java.security.Principal;
import java.security.PrivateKey;
import java.security.cert.X509Certificate;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import java.util.concurrent.TimeUnit;
import javax.net.ssl.KeyManager;
import javax.net.ssl.KeyManagerFactory;
import javax.net.ssl.SSLContext;
import javax.net.ssl.SSLEngine;
import javax.net.ssl.SSLServerSocket;
import javax.net.ssl.SSLSession;
import javax.net.ssl.SSLSocket;
import javax.net.ssl.TrustManagerFactory;
import javax.net.ssl.X509ExtendedKeyManager;
import javax.net.ssl.X509KeyManager;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Test;

/**
 * TLS 1.3 handshakes on the loopback address in which the server's private key lives on the token:
 * JSSE finds it through a KeyManagerFactory over the provider's KeyStore and signs its
 * CertificateVerify through the provider (ECDSA for an EC key; RSASSA-PSS for an RSA key, the only
 * RSA signature TLS 1.3 allows). The client trusts just the server's certificate.
 */
class ProviderTlsTest {
  @BeforeAll
  static void serverKeys() {
    ProviderFixture.generateWithKeytool("tls-ec", "-keyalg", "EC", "-groupname", "secp256r1");
    ProviderFixture.generateWithKeytool("tls-rsa", "-keyalg", "RSA", "-keysize", "2048");
  }

  @Test
  void tls13WithTheServersEcP256KeyOnTheToken() throws Exception {
    handshake("tls-ec", "EC");
  }

  @Test
  void tls13WithTheServersRsaKeyOnTheTokenSigningWithPss() throws Exception {
    handshake("tls-rsa", "RSA");
  }

  private static void handshake(String alias, String keyType) throws Exception {
    KeyStore tokenStore = ProviderFixture.keyStore();
    X509Certificate certificate = (X509Certificate) tokenStore.getCertificate(alias);
    KeyManagerFactory keys = KeyManagerFactory.getInstance("SunX509");
    keys.init(tokenStore, ProviderFixture.PIN);
    X509KeyManager tokenKeys = (X509KeyManager) keys.getKeyManagers()[0];
    assertNull(tokenKeys.getPrivateKey(alias).getEncoded(), "the server key stays on the token");
    SSLContext server = SSLContext.getInstance("TLSv1.3");
    server.init(new KeyManager[] {new OneAlias(tokenKeys, alias, keyType)}, null, null);

    KeyStore trusted = KeyStore.getInstance("PKCS12");
    trusted.load(null, null);
    trusted.setCertificateEntry("server", certificate);
    TrustManagerFactory trust = TrustManagerFactory.getInstance("PKIX");
    trust.init(trusted);
    SSLContext client = SSLContext.getInstance("TLSv1.3");
    client.init(null, trust.getTrustManagers(), null);

    ExecutorService serverThread = Executors.newSingleThreadExecutor();
    try (SSLServerSocket listener =
             (SSLServerSocket) server.getServerSocketFactory().createServerSocket(
                 0, 1, InetAddress.getLoopbackAddress())) {
      listener.setEnabledProtocols(new String[] {"TLSv1.3"});
      Future<String> served = serverThread.submit(() -> {
        try (Socket accepted = listener.accept()) {
          accepted.setSoTimeout(30_000);
          String line = reader(accepted).readLine();
          send(accepted, "pong " + line);
          return line;
        }
      });
      try (SSLSocket socket = (SSLSocket) client.getSocketFactory().createSocket(
               InetAddress.getLoopbackAddress(), listener.getLocalPort())) {
        socket.setSoTimeout(30_000);
        socket.setEnabledProtocols(new String[] {"TLSv1.3"});
        socket.startHandshake();
        SSLSession session = socket.getSession();
        assertEquals("TLSv1.3", session.getProtocol());
        assertEquals(certificate, session.getPeerCertificates()[0]);
        send(socket, "ping from the client");
        assertEquals("pong ping from the client", reader(socket).readLine());
      }
      assertEquals("ping from the client", served.get(30, TimeUnit.SECONDS));
    } finally {
      serverThread.shutdownNow();
    }
  }

  private static BufferedReader reader(Socket socket) throws Exception {
    return new BufferedReader(
        new InputStreamReader(socket.getInputStream(), StandardCharsets.UTF_8));
  }

  private static void send(Socket socket, String line) throws Exception {
    OutputStream out = socket.getOutputStream();
    out.write((line + "\n").getBytes(StandardCharsets.UTF_8));
    out.flush();
  }

  /**
   * The key manager from the token's key store, offering the server one of its entries: the token
   * holds keys of both kinds, and each test names the one it means.
   */
  private static final class OneAlias extends X509ExtendedKeyManager {
    private final X509KeyManager keys;
    private final String alias;
    private final String keyType;

    OneAlias(X509KeyManager keys, String alias, String keyType) {
      this.keys = keys;
      this.alias = alias;
      this.keyType = keyType;
    }

    private String match(String type) { return keyType.equals(type) ? alias : null; }

    @Override
    public String chooseServerAlias(String type, Principal[] issuers, Socket socket) {
      return match(type);
    }

    @Override
    public String chooseEngineServerAlias(String type, Principal[] issuers, SSLEngine engine) {
      return match(type);
    }

    @Override
    public String[] getServerAliases(String type, Principal[] issuers) {
      return match(type) == null ? null : new String[] {alias};
    }

    @Override
    public String[] getClientAliases(String type, Principal[] issuers) {
      return null;
    }

    @Override
    public String chooseClientAlias(String[] types, Principal[] issuers, Socket socket) {
      return null;
    }

    @Override
    public X509Certificate[] getCertificateChain(String name) {
      return keys.getCertificateChain(name);
    }

    @Override
    public PrivateKey getPrivateKey(String name) {
      return keys.getPrivateKey(name);
    }
  }
}
