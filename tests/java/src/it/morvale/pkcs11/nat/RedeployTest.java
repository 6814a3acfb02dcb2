package it.morvale.pkcs11.nat;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.lang.ref.WeakReference;
import java.lang.reflect.Array;
import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.net.URL;
import java.net.URLClassLoader;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import org.junit.jupiter.api.Test;

/**
 * The bridge deployed by a class loader of its own, as an application server deploys it, then
 * undeployed and deployed again by a new loader. The bridge remembers the classes and members it
 * looks up: the first loader must still go (nothing of the bridge holds its classes), and the
 * second deployment must not use what was remembered of the first loader's classes, even when
 * the library stays mapped between the two.
 */
class RedeployTest {
  @Test
  void aRedeployedBridgeForgetsTheClassesOfTheLoaderThatWent() throws Exception {
    TestBridge.configure("SLOTS=1");
    // A copy of the library under another name: the application class loader holds the
    // original. The hook keeps the copy mapped after the Java VM unloads it.
    Path library = Files.createTempFile(TestBridge.work(), "redeployed", ".so");
    Files.copy(Path.of(TestBridge.property("quillon.library")), library,
        StandardCopyOption.REPLACE_EXISTING);
    assertTrue(BridgeHooks.holdLibrary(library.toString()));
    URL jar = NativePKCS11.class.getProtectionDomain().getCodeSource().getLocation();

    WeakReference<ClassLoader> first = deployAndUse(jar, library);
    // The library can be loaded by a new loader only once the first one is collected and the
    // Java VM has unloaded the library (JNI_OnUnload) for it.
    WeakReference<ClassLoader> second = null;
    for (int attempt = 0; second == null && attempt < 200; ++attempt) {
      System.gc();
      try {
        second = deployAndUse(jar, library);
      } catch (InvocationTargetException e) {
        if (!(e.getCause() instanceof UnsatisfiedLinkError)) throw e;
        Thread.sleep(50); // still loaded for the first loader
      }
    }
    assertNull(first.get(), "the first loader was collected");
    assertTrue(second != null, "the bridge was deployed again");
  }

  /**
   * Loads the bridge's classes and the library in a new class loader and makes the calls that
   * remember classes, constructors and handle fields; returns the loader, held weakly.
   */
  private static WeakReference<ClassLoader> deployAndUse(URL jar, Path library) throws Exception {
    URLClassLoader loader =
        new URLClassLoader(new URL[] {jar}, ClassLoader.getPlatformClassLoader());
    Class<?> moduleClass = Class.forName(NativePKCS11.class.getName(), true, loader);
    moduleClass.getMethod("loadBridge", String.class).invoke(null, library.toString());
    Object p11 = moduleClass.getConstructor().newInstance();
    long module = (long) moduleClass.getMethod("loadPKCS11Library", String.class)
                      .invoke(p11, TestBridge.qrec());
    long list = (long) moduleClass.getMethod("functionListHandler", long.class).invoke(p11, module);
    Method finalize = moduleClass.getMethod("libFinalize", long.class, long.class);
    finalize.invoke(p11, module, list);
    moduleClass.getMethod("libInitialize", long.class).invoke(p11, list);
    try {
      Object info = moduleClass.getMethod("getInfo", long.class).invoke(p11, list);
      assertSame(loader, info.getClass().getClassLoader());
      Object slots =
          moduleClass.getMethod("getSlotList", long.class, boolean.class).invoke(p11, list, true);
      assertEquals(1, Array.getLength(slots));
      Object slot = Array.get(slots, 0);
      assertSame(loader, slot.getClass().getClassLoader());
      // Reads the slot's handle field and makes a session of this loader.
      Object session =
          slot.getClass().getMethod("openSession", long.class, int.class).invoke(slot, list, 0x4);
      assertSame(loader, session.getClass().getClassLoader());
      Object sessionInfo =
          session.getClass().getMethod("getInfo", long.class).invoke(session, list);
      assertSame(loader, sessionInfo.getClass().getClassLoader());
      session.getClass().getMethod("close", long.class).invoke(session, list);
    } finally {
      finalize.invoke(p11, module, list);
    }
    loader.close();
    return new WeakReference<>(loader);
  }
}
