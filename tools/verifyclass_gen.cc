// verifyclass_gen: writes Verify.class, the JVM verification program.
//
// The launcher runs every candidate JVM on this class:
//
//   java -cp Verify.jar Verify NAME...
//
// and the class prints the line "1739021872" (the verification marker), then
// one line per argument, in order: the value of the system property of that
// name, or "null" when it is not set. A name that the JVM refuses as a
// property key (the empty name) counts as not set.
//
// The class must load on every JVM that a user may still have installed, the
// oldest included, so it is a class file of version 45.3 (the format of the
// first JVMs) that uses nothing but System.getProperty, System.out and
// PrintStream.println(String). Current compilers cannot target that version,
// so this program writes the class file byte by byte. The bytes depend on
// nothing but this source: the output is the same on every run.
//
// Version 45 has no StackMapTable; JVMs verify it by type inference, which
// the single method below satisfies: every local has one type at every
// instruction where it is read, and the operand stack is empty at each
// branch target except the exception handler's entry.
//
// Usage: verifyclass_gen OUTPUT
// Exit status 0 on success, 1 with a message on standard error otherwise.

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Big-endian byte buffer, the byte order of class files.
class ByteWriter {
 public:
  void u1(unsigned value) { m_bytes.push_back(static_cast<char>(value & 0xFF)); }
  void u2(unsigned value) {
    u1(value >> 8);
    u1(value);
  }
  void u4(uint32_t value) {
    u2(value >> 16);
    u2(value & 0xFFFF);
  }
  void bytes(const std::string& data) { m_bytes += data; }
  size_t size() const { return m_bytes.size(); }
  const std::string& str() const { return m_bytes; }
  // Overwrites two bytes written earlier (branch offsets).
  void patchU2(size_t at, unsigned value) {
    m_bytes[at] = static_cast<char>((value >> 8) & 0xFF);
    m_bytes[at + 1] = static_cast<char>(value & 0xFF);
  }

 private:
  std::string m_bytes;
};

// Constant pool tags.
enum ConstantTag : unsigned {
  CONSTANT_UTF8 = 1,
  CONSTANT_CLASS = 7,
  CONSTANT_STRING = 8,
  CONSTANT_FIELDREF = 9,
  CONSTANT_METHODREF = 10,
  CONSTANT_NAME_AND_TYPE = 12,
};

// The constant pool. Each add returns the entry's index (the first entry is
// 1); adding an entry equal to an earlier one returns the earlier index, so
// the pool holds every constant once.
class ConstantPool {
 public:
  unsigned utf8(const std::string& text) {
    // Modified UTF-8 equals ASCII for the names used here.
    for (char c : text) {
      if (c == 0 || static_cast<unsigned char>(c) > 0x7F)
        throw std::logic_error("non-ASCII constant: " + text);
    }
    ByteWriter entry;
    entry.u1(CONSTANT_UTF8);
    entry.u2(static_cast<unsigned>(text.size()));  // length in bytes
    entry.bytes(text);
    return add(entry);
  }
  // CONSTANT_Class: name_index. internalName uses slashes: "java/lang/System".
  unsigned classRef(const std::string& internalName) {
    unsigned name = utf8(internalName);
    return addIndexes(CONSTANT_CLASS, {name});
  }
  // CONSTANT_String: string_index.
  unsigned string(const std::string& text) {
    unsigned value = utf8(text);
    return addIndexes(CONSTANT_STRING, {value});
  }
  // CONSTANT_NameAndType: name_index, descriptor_index.
  unsigned nameAndType(const std::string& name, const std::string& descriptor) {
    unsigned nameIndex = utf8(name);
    unsigned descriptorIndex = utf8(descriptor);
    return addIndexes(CONSTANT_NAME_AND_TYPE, {nameIndex, descriptorIndex});
  }
  // CONSTANT_Fieldref and CONSTANT_Methodref: class_index, name_and_type_index.
  unsigned fieldRef(const std::string& owner, const std::string& name, const std::string& descriptor) {
    return memberRef(CONSTANT_FIELDREF, owner, name, descriptor);
  }
  unsigned methodRef(const std::string& owner, const std::string& name, const std::string& descriptor) {
    return memberRef(CONSTANT_METHODREF, owner, name, descriptor);
  }

  void write(ByteWriter& out) const {
    out.u2(static_cast<unsigned>(m_entries.size() + 1));  // constant_pool_count
    for (const std::string& entry : m_entries) out.bytes(entry);
  }

 private:
  unsigned memberRef(unsigned tag, const std::string& owner, const std::string& name,
                     const std::string& descriptor) {
    unsigned ownerIndex = classRef(owner);
    unsigned nameAndTypeIndex = nameAndType(name, descriptor);
    return addIndexes(tag, {ownerIndex, nameAndTypeIndex});
  }
  // An entry made of its tag and u2 indexes of other entries.
  unsigned addIndexes(unsigned tag, std::initializer_list<unsigned> indexes) {
    ByteWriter entry;
    entry.u1(tag);
    for (unsigned index : indexes) entry.u2(index);
    return add(entry);
  }
  unsigned add(const ByteWriter& entry) {
    auto found = m_index.find(entry.str());
    if (found != m_index.end()) return found->second;
    m_entries.push_back(entry.str());
    unsigned index = static_cast<unsigned>(m_entries.size());
    m_index[entry.str()] = index;
    return index;
  }

  std::vector<std::string> m_entries;
  std::map<std::string, unsigned> m_index;
};

// The few instructions that the method needs, all of them in the first JVMs.
enum Opcode : unsigned {
  OP_ACONST_NULL = 0x01,
  OP_ICONST_0 = 0x03,
  OP_LDC = 0x12,  // u1 constant pool index
  OP_ILOAD_2 = 0x1C,
  OP_ALOAD_0 = 0x2A,
  OP_ALOAD_1 = 0x2B,
  OP_ALOAD_3 = 0x2D,
  OP_AALOAD = 0x32,
  OP_ISTORE_2 = 0x3D,
  OP_ASTORE_1 = 0x4C,
  OP_ASTORE_3 = 0x4E,
  OP_POP = 0x57,
  OP_IINC = 0x84,       // u1 local, s1 increment
  OP_IF_ICMPGE = 0xA2,  // s2 branch offset
  OP_GOTO = 0xA7,       // s2 branch offset
  OP_RETURN = 0xB1,
  OP_GETSTATIC = 0xB2,      // u2 field ref
  OP_INVOKEVIRTUAL = 0xB6,  // u2 method ref
  OP_INVOKESTATIC = 0xB8,   // u2 method ref
  OP_ARRAYLENGTH = 0xBE,
};

// Method bytecode with forward and backward branches to labels. A branch
// offset is relative to the address of the branch instruction itself.
class CodeWriter {
 public:
  using Label = size_t;

  void op(Opcode opcode) { m_code.u1(opcode); }
  void opU1(Opcode opcode, unsigned operand) {
    m_code.u1(opcode);
    m_code.u1(operand);
  }
  void opU2(Opcode opcode, unsigned operand) {
    m_code.u1(opcode);
    m_code.u2(operand);
  }
  void iinc(unsigned local, int increment) {
    m_code.u1(OP_IINC);
    m_code.u1(local);
    m_code.u1(static_cast<unsigned>(increment));
  }

  Label newLabel() {
    m_labels.push_back(kUnbound);
    return m_labels.size() - 1;
  }
  void bind(Label label) { m_labels[label] = m_code.size(); }
  void branch(Opcode opcode, Label target) {
    m_fixups.push_back({m_code.size(), m_code.size() + 1, target});
    m_code.u1(opcode);
    m_code.u2(0);  // offset, patched by finish()
  }
  // Address of a bound label (exception table entries).
  unsigned address(Label label) const { return static_cast<unsigned>(m_labels.at(label)); }

  // The bytecode with every branch offset filled in.
  std::string finish() {
    for (const Fixup& fixup : m_fixups) {
      if (m_labels.at(fixup.target) == kUnbound) throw std::logic_error("branch to an unbound label");
      long offset = static_cast<long>(m_labels[fixup.target]) - static_cast<long>(fixup.instruction);
      m_code.patchU2(fixup.operand, static_cast<unsigned>(offset) & 0xFFFF);
    }
    return m_code.str();
  }

 private:
  static constexpr size_t kUnbound = static_cast<size_t>(-1);
  struct Fixup {
    size_t instruction;  // address of the branch opcode
    size_t operand;      // address of its two offset bytes
    Label target;
  };
  ByteWriter m_code;
  std::vector<size_t> m_labels;
  std::vector<Fixup> m_fixups;
};

// Access flags.
constexpr unsigned ACC_PUBLIC = 0x0001;
constexpr unsigned ACC_STATIC = 0x0008;
constexpr unsigned ACC_SUPER = 0x0020;

constexpr uint32_t kClassMagic = 0xCAFEBABE;
constexpr unsigned kMinorVersion = 3;
constexpr unsigned kMajorVersion = 45;

const char kVerificationMarker[] = "1739021872";

// Locals of main: 0 the argument array, 1 System.out, 2 the loop index,
// 3 the current property value.
constexpr unsigned kLocalIndex = 2;
constexpr unsigned kMaxLocals = 4;
// Deepest operand stack: a receiver and one argument (println, the loop test,
// the array load).
constexpr unsigned kMaxStack = 2;

// public static void main(String[] args) {
//   PrintStream out = System.out;
//   out.println("1739021872");
//   for (int i = 0; i < args.length; i++) {
//     String value;
//     try { value = System.getProperty(args[i]); }
//     catch (RuntimeException e) { value = null; }
//     out.println(value);            // println prints "null" for null
//   }
// }
std::string buildClassFile() {
  ConstantPool pool;
  unsigned thisClass = pool.classRef("Verify");
  unsigned superClass = pool.classRef("java/lang/Object");
  unsigned mainName = pool.utf8("main");
  unsigned mainDescriptor = pool.utf8("([Ljava/lang/String;)V");
  unsigned codeName = pool.utf8("Code");
  unsigned systemOut = pool.fieldRef("java/lang/System", "out", "Ljava/io/PrintStream;");
  unsigned println = pool.methodRef("java/io/PrintStream", "println", "(Ljava/lang/String;)V");
  unsigned getProperty =
      pool.methodRef("java/lang/System", "getProperty", "(Ljava/lang/String;)Ljava/lang/String;");
  unsigned marker = pool.string(kVerificationMarker);
  unsigned runtimeException = pool.classRef("java/lang/RuntimeException");
  if (marker > 0xFF) throw std::logic_error("ldc needs an index below 256");

  CodeWriter code;
  CodeWriter::Label loop = code.newLabel();
  CodeWriter::Label tryStart = code.newLabel();
  CodeWriter::Label tryEnd = code.newLabel();
  CodeWriter::Label print = code.newLabel();
  CodeWriter::Label handler = code.newLabel();
  CodeWriter::Label done = code.newLabel();

  code.opU2(OP_GETSTATIC, systemOut);  // out = System.out
  code.op(OP_ASTORE_1);
  code.op(OP_ALOAD_1);  // out.println(marker)
  code.opU1(OP_LDC, marker);
  code.opU2(OP_INVOKEVIRTUAL, println);
  code.op(OP_ICONST_0);  // i = 0
  code.op(OP_ISTORE_2);
  code.bind(loop);  // while (i < args.length)
  code.op(OP_ILOAD_2);
  code.op(OP_ALOAD_0);
  code.op(OP_ARRAYLENGTH);
  code.branch(OP_IF_ICMPGE, done);
  code.bind(tryStart);  // value = System.getProperty(args[i])
  code.op(OP_ALOAD_0);
  code.op(OP_ILOAD_2);
  code.op(OP_AALOAD);
  code.opU2(OP_INVOKESTATIC, getProperty);
  code.bind(tryEnd);
  code.op(OP_ASTORE_3);
  code.bind(print);  // out.println(value)
  code.op(OP_ALOAD_1);
  code.op(OP_ALOAD_3);
  code.opU2(OP_INVOKEVIRTUAL, println);
  code.iinc(kLocalIndex, 1);  // i++
  code.branch(OP_GOTO, loop);
  code.bind(handler);  // a name the JVM refuses (empty): shown as not set
  code.op(OP_POP);     // the exception
  code.op(OP_ACONST_NULL);
  code.op(OP_ASTORE_3);
  code.branch(OP_GOTO, print);
  code.bind(done);
  code.op(OP_RETURN);
  std::string bytecode = code.finish();

  ByteWriter codeAttribute;  // Code attribute, after its name and length
  codeAttribute.u2(kMaxStack);
  codeAttribute.u2(kMaxLocals);
  codeAttribute.u4(static_cast<uint32_t>(bytecode.size()));  // code_length
  codeAttribute.bytes(bytecode);
  codeAttribute.u2(1);                          // exception_table_length
  codeAttribute.u2(code.address(tryStart));     // start_pc
  codeAttribute.u2(code.address(tryEnd));       // end_pc, exclusive
  codeAttribute.u2(code.address(handler));      // handler_pc
  codeAttribute.u2(runtimeException);           // catch_type
  codeAttribute.u2(0);                          // attributes_count

  ByteWriter out;
  out.u4(kClassMagic);
  out.u2(kMinorVersion);
  out.u2(kMajorVersion);
  pool.write(out);
  out.u2(ACC_PUBLIC | ACC_SUPER);  // access_flags
  out.u2(thisClass);               // this_class
  out.u2(superClass);              // super_class
  out.u2(0);                       // interfaces_count
  out.u2(0);                       // fields_count
  out.u2(1);                       // methods_count
  out.u2(ACC_PUBLIC | ACC_STATIC);  // main: access_flags
  out.u2(mainName);                 // name_index
  out.u2(mainDescriptor);           // descriptor_index
  out.u2(1);                        // attributes_count
  out.u2(codeName);                 // attribute_name_index
  out.u4(static_cast<uint32_t>(codeAttribute.size()));  // attribute_length
  out.bytes(codeAttribute.str());
  out.u2(0);  // class attributes_count
  return out.str();
}

// Writes through a temporary file beside the target so that a failed run
// never leaves a truncated class file that looks up to date.
bool writeFile(const std::string& path, const std::string& bytes) {
  std::string temp = path + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::remove(temp.c_str());
      return false;
    }
  }
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: verifyclass_gen OUTPUT\n");
    return 1;
  }
  if (!writeFile(argv[1], buildClassFile())) {
    std::fprintf(stderr, "verifyclass_gen: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
