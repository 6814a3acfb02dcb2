package it.morvale.pkcs11.nat;

import static org.junit.jupiter.api.Assertions.assertEquals;

import org.junit.jupiter.api.Test;

/** The walk of every native method again with tracing on, so that every trace line runs too. */
class NativeWalkTraceLogTest {
  @Test
  void everyNativeMethodSurvivesHostileArgumentsWhileTracing() throws Exception {
    LoadedModule.recording().close();  // loading with PKCS11_ZOR_DEBUG set switches tracing on
    assertEquals(1, BridgeHooks.debugFlag(), "tracing is on");
    new NativeWalkTest().everyNativeMethodSurvivesHostileArguments();
  }
}
