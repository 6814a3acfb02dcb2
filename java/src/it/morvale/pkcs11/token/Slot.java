package it.morvale.pkcs11.token;

import it.morvale.pkcs11.PKCS11Exception;
import it.morvale.pkcs11.PKCS11MechanismInfo;
import it.morvale.pkcs11.PKCS11SlotInfo;
import it.morvale.pkcs11.PKCS11TokenInfo;
import it.morvale.pkcs11.nat.NativePKCS11Slot;

/** A slot of a module, and the token in it. */
public final class Slot {
  private final Pkcs11Module module;
  private final NativePKCS11Slot slot;

  Slot(Pkcs11Module module, NativePKCS11Slot slot) {
    this.module = module;
    this.slot = slot;
  }

  public Pkcs11Module module() { return module; }

  public NativePKCS11Slot nativeSlot() { return slot; }

  /** The slot ID, an unsigned number. */
  public long id() { return Integer.toUnsignedLong(slot.getSlotID()); }

  public PKCS11SlotInfo info() throws PKCS11Exception {
    return module.call(() -> slot.getInfo(module.functionList()));
  }

  public boolean hasToken() throws PKCS11Exception { return info().isTokenPresent(); }

  public PKCS11TokenInfo tokenInfo() throws PKCS11Exception {
    return module.call(() -> slot.getTokenInfo(module.functionList()));
  }

  /** The token's label without its blank padding, or null when the slot has no token. */
  public String tokenLabel() throws PKCS11Exception {
    return hasToken() ? tokenInfo().getLabelTrimmed() : null;
  }

  public int[] mechanisms() throws PKCS11Exception {
    int[] mechanisms = module.call(() -> slot.getMechanismList(module.functionList()));
    return mechanisms == null ? new int[0] : mechanisms;
  }

  public PKCS11MechanismInfo mechanismInfo(int mechanism) throws PKCS11Exception {
    return module.call(() -> slot.getMechanismInfo(module.functionList(), mechanism));
  }

  /** Initialises the token: every object on it is destroyed. */
  public void initToken(String soPin, String label) throws PKCS11Exception {
    module.run(() -> slot.initToken(module.functionList(), soPin, label));
  }

  /** Opens a serial session, read-write when asked. */
  public Session openSession(boolean readWrite) throws PKCS11Exception {
    int flags = Cryptoki.CKF_SERIAL_SESSION | (readWrite ? Cryptoki.CKF_RW_SESSION : 0);
    return new Session(module, module.call(() -> slot.openSession(module.functionList(), flags)));
  }

  public void closeAllSessions() throws PKCS11Exception {
    module.run(() -> slot.closeAllSessions(module.functionList()));
  }

  @Override
  public String toString() {
    return "Slot[" + id() + "]";
  }
}
