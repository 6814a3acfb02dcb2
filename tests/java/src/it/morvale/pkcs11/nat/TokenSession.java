package it.morvale.pkcs11.nat;

import it.morvale.pkcs11.PKCS11Exception;

/**
 * A module loaded through the bridge with one read-write session open on its first slot with a
 * token; closing finalises the module, which ends the session. The session is opened through the
 * module's own function list (BridgeHooks), so these suites depend on no other entry point.
 */
final class TokenSession implements AutoCloseable {
  static final String SOFTHSM = TestBridge.property("quillon.softhsm");

  final LoadedModule module;
  final long list;
  final NativePKCS11Session session;

  private TokenSession(LoadedModule module, String userPin) throws PKCS11Exception {
    this.module = module;
    this.list = module.list;
    NativePKCS11Slot slot = module.p11.getSlotList(list, true)[0];
    session = new NativePKCS11Session(slot, BridgeHooks.moduleOpenSession(list, slot.slotID, userPin));
  }

  /** The suite's SoftHSM2 token, with the user logged in. */
  static TokenSession softHsm() throws PKCS11Exception {
    return new TokenSession(LoadedModule.start(SOFTHSM), "1234");
  }

  /** The recording module with this configuration; nobody logged in. */
  static TokenSession recording(String... config) throws PKCS11Exception {
    TokenSession opened = new TokenSession(LoadedModule.recording(config), null);
    TestBridge.clearJournal();
    return opened;
  }

  NativePKCS11Object object(int handle) {
    return new NativePKCS11Object(session, handle);
  }

  @Override
  public void close() throws PKCS11Exception {
    module.close();
  }
}
