package it.morvale.pkcs11.tool;

import it.morvale.pkcs11.PKCS11MechanismInfo;
import it.morvale.pkcs11.token.Cryptoki;
import it.morvale.pkcs11.token.KeyPairObjects;
import it.morvale.pkcs11.token.KeyTemplates;
import it.morvale.pkcs11.token.Mechanism;
import it.morvale.pkcs11.token.Session;
import it.morvale.pkcs11.token.Slot;
import it.morvale.pkcs11.token.TokenObject;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import java.util.Set;
import picocli.CommandLine.Command;
import picocli.CommandLine.Mixin;
import picocli.CommandLine.Option;
import picocli.CommandLine.Parameters;

/** Key generation on the token. */
@Command(name = "keygen",
    description = {"Generate a key on the token: an RSA key pair (signing,"
        + " verifying, encrypting, decrypting, wrapping), an EC or EdDSA key pair (signing and"
        + " verifying), an AES key (encrypting and wrapping, and extractable so that it can be"
        + " wrapped itself) or a generic secret (HMAC and derivation). --usage chooses other uses."
        + " Both keys of a pair get one id: --id, else the SHA-1 hash of the public key. A size"
        + " outside what the token's mechanism allows is refused before the token is asked."})
final class KeygenCommand extends UserCommand {
  @Parameters(paramLabel = "KIND",
      description = "rsa:BITS, ec:CURVE (P-256, P-384, P-521, secp256k1, brainpoolP256r1, ...,"
          + " or an OID), ed25519, ed448, aes:BITS or generic:BITS")
  String kind;

  @Option(names = "--label", paramLabel = "LABEL", description = "the new key's label")
  String label;

  @Option(names = "--id", paramLabel = "HEX", description = "the new key's id, in hex") String id;

  @Option(names = "--usage", paramLabel = "USES", split = ",",
      description = "only these uses: sign, verify, encrypt, decrypt, wrap, unwrap, derive"
          + " (a pair's halves take theirs; derive goes to an EC private key for ECDH)")
  List<String> usage;

  @Mixin Json.JsonOption json;

  private KeyKind parsed;

  private static final Map<String, Integer> USES = Map.of("sign", Cryptoki.CKA_SIGN, "verify",
      Cryptoki.CKA_VERIFY, "encrypt", Cryptoki.CKA_ENCRYPT, "decrypt", Cryptoki.CKA_DECRYPT, "wrap",
      Cryptoki.CKA_WRAP, "unwrap", Cryptoki.CKA_UNWRAP, "derive", Cryptoki.CKA_DERIVE);

  @Override
  void check() {
    parsed = KeyKind.parse(kind);
    if (id != null) Io.unhex("--id", id);
    uses();
  }

  private Set<Integer> uses() {
    if (usage == null) return null;
    Set<Integer> uses = new LinkedHashSet<>();
    for (String use : usage) {
      Integer attribute = USES.get(use.trim().toLowerCase(Locale.ROOT));
      if (attribute == null) {
        throw Failure.usage("--usage takes sign, verify, encrypt, decrypt, wrap, unwrap and"
            + " derive, not \"" + use + "\"");
      }
      uses.add(attribute);
    }
    return uses;
  }

  @Override
  void run(Token token, Pins pins) throws Exception {
    Session session = token.writingUser(pins);
    byte[] newId = KeyOptions.selector(label, id, "--id").id();
    Token.refuseTaken(session, label);
    String what = parsed.describe();
    Set<Integer> uses = uses();
    KeyTemplates.Pair pair = null;
    KeyTemplates.Secret secret = null;
    if (parsed.isPair()) {
      pair = parsed.pair(label, newId);
      if (uses != null) pair = pair.withUsage(uses);
    } else {
      secret = parsed.secret(label, newId);
      if (uses != null) secret = secret.withUsage(uses);
    }
    refuseOutOfRange(token.slot(), pair != null ? pair.mechanism() : secret.mechanism());
    byte[] given;
    List<TokenObject> made;
    try (Spinner spinner = Spinner.start("generating " + what)) {
      if (pair != null) {
        KeyPairObjects objects = session.generateKeyPair(pair);
        given = objects.id();
        made = List.of(objects.publicKey(), objects.privateKey());
      } else {
        made = List.of(session.generateKey(secret));
        given = newId;
      }
    }
    if (json.wanted()) {
      Map<String, Object> report = Json.object();
      report.put("kind", kind);
      report.put("label", label);
      report.put("id", given == null ? null : Io.hex(given));
      report.put("objects",
          made.stream().map(ObjectText::line).collect(java.util.stream.Collectors.toList()));
      Json.print(report);
      return;
    }
    System.out.println("generated " + what + (label == null ? "" : " \"" + label + "\"")
        + (given == null ? "" : " with id " + Io.hex(given)));
  }

  /** The token says in its mechanism information which sizes it makes: others are refused. */
  private void refuseOutOfRange(Slot slot, int mechanism) throws Exception {
    String name = Mechanism.nameOf(mechanism);
    if (!slot.supports(mechanism)) {
      throw Failure.usage("the token does not generate these keys: " + name
          + " is not among its mechanisms (see quillon mechanisms)");
    }
    if (!parsed.sizeBounded()) return;
    PKCS11MechanismInfo info = slot.mechanismInfo(mechanism);
    long min = Integer.toUnsignedLong(info.getMinKeySize());
    long max = Integer.toUnsignedLong(info.getMaxKeySize());
    long size = parsed.sizeInTokenUnits();
    if ((min > 0 && size < min) || (max > 0 && size > max)) {
      throw Failure.usage("the token makes " + name + " keys of " + min + " to " + max + " "
          + parsed.tokenUnit() + ", not " + size);
    }
  }
}
