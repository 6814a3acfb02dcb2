package it.morvale.pkcs11.nat;

import it.morvale.pkcs11.PKCS11Exception;

/** A Cryptoki module loaded, bound and initialised through the bridge; closing finalises it. */
final class LoadedModule implements AutoCloseable {
  final NativePKCS11 p11 = new NativePKCS11();
  final long module;
  final long list;

  private LoadedModule(String path) throws PKCS11Exception {
    TestBridge.load();
    module = p11.loadPKCS11Library(path);
    list = p11.functionListHandler(module);
    // A module that an earlier, failed test left initialised starts afresh.
    p11.libFinalize(module, list);
    p11.libInitialize(list);
  }

  static LoadedModule start(String path) throws PKCS11Exception { return new LoadedModule(path); }

  /** The recording module with this configuration (see TestBridge.configure). */
  static LoadedModule recording(String... config) throws PKCS11Exception {
    TestBridge.configure(config);
    LoadedModule loaded = new LoadedModule(TestBridge.qrec());
    TestBridge.clearJournal();
    return loaded;
  }

  /**
   * Replaces the recording module's configuration and makes one call into the module, which reads
   * it again, so that changed function-list entries are in place before the next bridge call.
   */
  void reconfigure(String... config) throws PKCS11Exception {
    TestBridge.configure(config);
    p11.functionListHandler(module);
    TestBridge.clearJournal();
  }

  /** A serial session, read-write or read-only, on the slot with this ID. */
  NativePKCS11Session openSession(int slotID, boolean readWrite) throws PKCS11Exception {
    int flags = 0x4 | (readWrite ? 0x2 : 0);
    return new NativePKCS11Slot(p11, slotID).openSession(list, flags);
  }

  /** The slot ID of the first slot with a token. */
  int firstToken() throws PKCS11Exception { return p11.getSlotList(list, true)[0].slotID; }

  @Override
  public void close() throws PKCS11Exception {
    p11.libFinalize(module, list);
  }
}
