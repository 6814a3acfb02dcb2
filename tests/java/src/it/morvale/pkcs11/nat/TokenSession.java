package it.morvale.pkcs11.nat;

import it.morvale.pkcs11.PKCS11Exception;

/**
 * A module loaded through the bridge with one read-write session open on its first slot with a
 * token; closing finalises the module, which ends the session. Nobody logs in: the keys that the
 * suites make are public session objects.
 */
final class TokenSession implements AutoCloseable {
  static final String SOFTHSM = TestBridge.property("quillon.softhsm");

  final LoadedModule module;
  final long list;
  final NativePKCS11Session session;

  static final int CKF_RW_SERIAL_SESSION = 0x6;

  private TokenSession(LoadedModule module) throws PKCS11Exception {
    this.module = module;
    this.list = module.list;
    NativePKCS11Slot slot = module.p11.getSlotList(list, true)[0];
    session = slot.openSession(list, CKF_RW_SERIAL_SESSION);
  }

  /** The suite's SoftHSM2 token. */
  static TokenSession softHsm() throws PKCS11Exception {
    return new TokenSession(LoadedModule.start(SOFTHSM));
  }

  /** The recording module with this configuration. */
  static TokenSession recording(String... config) throws PKCS11Exception {
    TokenSession opened = new TokenSession(LoadedModule.recording(config));
    TestBridge.clearJournal();
    return opened;
  }

  NativePKCS11Object object(int handle) { return new NativePKCS11Object(session, handle); }

  @Override
  public void close() throws PKCS11Exception {
    module.close();
  }
}
