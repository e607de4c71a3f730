// SPDX-License-Identifier: MIT
// Leafturn.Document: a PDF file loaded once by the native document library
// (leafturn_doc), asked and turned any number of times, saved as a fresh
// file or as an appended update that keeps its signatures. Each document
// keeps its own errors, so documents on different threads need no lock.
using System;
using System.Collections.Generic;
using System.Globalization;
using System.Runtime.InteropServices;
using System.Text;

namespace Leafturn
{
    /// <summary>How <see cref="Document.Save"/> writes the document.</summary>
    public enum SaveMode
    {
        /// <summary>A fresh file, except for a signed one, which gets an update (a fresh file would break its signatures).</summary>
        Automatic = 0,
        /// <summary>The file's own bytes with one update appended: signatures and earlier revisions stay.</summary>
        Incremental = 1,
        /// <summary>A fresh file.</summary>
        Full = 2,
    }

    /// <summary>Which way a page's text runs as displayed, read from its text layer.</summary>
    public enum TextDirection
    {
        /// <summary>Fewer than 30 glyphs, no two thirds of them agree, or the content cannot be read.</summary>
        None = 0,
        /// <summary>Upright.</summary>
        Up = 1,
        /// <summary>Sideways, the glyphs' tops to the right.</summary>
        Right = 2,
        /// <summary>Upside down.</summary>
        Down = 3,
        /// <summary>Sideways, the glyphs' tops to the left.</summary>
        Left = 4,
    }

    /// <summary>One page as it stands now (turns made so far included).</summary>
    public sealed class PageFacts
    {
        /// <summary>The page number, from 1.</summary>
        public int Number { get; internal set; }
        /// <summary>The effective rotation, clockwise: 0 to 359.</summary>
        public int Rotation { get; internal set; }
        /// <summary>The page's own /Rotate as the file has it, or null.</summary>
        public int? OwnRotation { get; internal set; }
        /// <summary>The /Rotate it inherits from the page tree as the file has it, or null.</summary>
        public int? InheritedRotation { get; internal set; }
        /// <summary>The displayed width in points (crop box, else media box, turned), or null.</summary>
        public double? Width { get; internal set; }
        /// <summary>The displayed height in points, or null.</summary>
        public double? Height { get; internal set; }
        /// <summary>"portrait", "landscape", "square", or null when the box is unknown.</summary>
        public string Orientation { get; internal set; }
        /// <summary>Which way its text runs as displayed.</summary>
        public TextDirection TextDirection { get; internal set; }
        /// <summary>How many glyphs its content shows.</summary>
        public int Glyphs { get; internal set; }
    }

    /// <summary>How an encrypted file is encrypted; saving keeps the encryption.</summary>
    public sealed class EncryptionFacts
    {
        /// <summary>"RC4-40", "RC4-128", "AES-128" or "AES-256".</summary>
        public string Method { get; internal set; }
        /// <summary>The standard handler's revision, 2 to 6.</summary>
        public int Revision { get; internal set; }
        /// <summary>The file key's length in bits.</summary>
        public int KeyBits { get; internal set; }
        /// <summary>Whether its user password is not empty.</summary>
        public bool PasswordNeeded { get; internal set; }
        /// <summary>"user", "owner", or null when no password opened it.</summary>
        public string OpenedWith { get; internal set; }
        /// <summary>Each permission by name ("print", "assemble", ...), and whether the file grants it.</summary>
        public IDictionary<string, bool> Permissions { get; internal set; }
    }

    internal sealed class DocumentHandle : SafeHandle
    {
        public DocumentHandle() : base(IntPtr.Zero, true) { }
        public override bool IsInvalid { get { return handle == IntPtr.Zero; } }
        protected override bool ReleaseHandle()
        {
            DocNative.leafturn_doc_close(handle);
            return true;
        }
    }

    [StructLayout(LayoutKind.Sequential)]
    internal struct NativePage
    {
        public UIntPtr Size;
        public int Number, Rotation, OwnRotation, InheritedRotation, BoxKnown;
        public double Width, Height;
        public int Orientation, TextDirection, Glyphs;
    }

    [StructLayout(LayoutKind.Sequential)]
    internal struct NativePages
    {
        public IntPtr Numbers;
        public int Count;
        public IntPtr List;
        public int Only;
    }

    internal static class DocNative
    {
        private const string Lib = "leafturn_doc";
        public const int Ok = 0, BadArgument = 2, NoMemory = 3;

        [DllImport(Lib, CallingConvention = CallingConvention.Cdecl)]
        public static extern int leafturn_doc_open(byte[] path, byte[] password, out DocumentHandle doc,
                                                   byte[] message, UIntPtr messageSize);
        [DllImport(Lib, CallingConvention = CallingConvention.Cdecl)]
        public static extern int leafturn_doc_open_bytes(byte[] bytes, UIntPtr len, byte[] name, byte[] password,
                                                         out DocumentHandle doc, byte[] message, UIntPtr messageSize);
        [DllImport(Lib, CallingConvention = CallingConvention.Cdecl)]
        public static extern void leafturn_doc_close(IntPtr doc);
        [DllImport(Lib, CallingConvention = CallingConvention.Cdecl)]
        public static extern IntPtr leafturn_doc_error(DocumentHandle doc);
        [DllImport(Lib, CallingConvention = CallingConvention.Cdecl)]
        public static extern int leafturn_doc_page_count(DocumentHandle doc, out int count);
        [DllImport(Lib, CallingConvention = CallingConvention.Cdecl)]
        public static extern int leafturn_doc_page_facts(DocumentHandle doc, int number, ref NativePage page);
        [DllImport(Lib, CallingConvention = CallingConvention.Cdecl)]
        public static extern int leafturn_doc_facts(DocumentHandle doc, out IntPtr json);
        [DllImport(Lib, CallingConvention = CallingConvention.Cdecl)]
        public static extern int leafturn_doc_turn_by(DocumentHandle doc, int degrees, ref NativePages which, out int changed);
        [DllImport(Lib, CallingConvention = CallingConvention.Cdecl)]
        public static extern int leafturn_doc_turn_to(DocumentHandle doc, int degrees, ref NativePages which, out int changed);
        [DllImport(Lib, CallingConvention = CallingConvention.Cdecl)]
        public static extern int leafturn_doc_upright(DocumentHandle doc, ref NativePages which, out int changed);
        [DllImport(Lib, CallingConvention = CallingConvention.Cdecl)]
        public static extern int leafturn_doc_save(DocumentHandle doc, byte[] path, int mode, int flags, out int wrote);
        [DllImport(Lib, CallingConvention = CallingConvention.Cdecl)]
        public static extern int leafturn_doc_save_bytes(DocumentHandle doc, int mode, int flags, out IntPtr bytes,
                                                         out UIntPtr len, out int wrote);
        [DllImport(Lib, CallingConvention = CallingConvention.Cdecl)]
        public static extern void leafturn_doc_free_bytes(IntPtr bytes);

        // NUL-terminated UTF-8, or null for null.
        public static byte[] Utf8(string s)
        {
            if (s == null) return null;
            byte[] utf8 = Encoding.UTF8.GetBytes(s);
            byte[] z = new byte[utf8.Length + 1];
            Buffer.BlockCopy(utf8, 0, z, 0, utf8.Length);
            return z;
        }

        public static string FromUtf8(IntPtr p)
        {
            if (p == IntPtr.Zero) return "";
            int n = 0;
            while (Marshal.ReadByte(p, n) != 0) n++;
            byte[] bytes = new byte[n];
            Marshal.Copy(p, bytes, 0, n);
            return Encoding.UTF8.GetString(bytes);
        }

        public static string FromUtf8(byte[] z)
        {
            int n = Array.IndexOf(z, (byte)0);
            return Encoding.UTF8.GetString(z, 0, n < 0 ? z.Length : n);
        }
    }

    /// <summary>
    /// A PDF file loaded into memory once, with the turns made to its pages.
    /// Questions and turns never read the file again; turns reach a file only
    /// through <see cref="Save"/> or <see cref="ToBytes"/>. Encrypted files
    /// open with their password (most need none) and stay encrypted. One
    /// document is for one thread at a time; different documents may be used
    /// on different threads at once.
    /// </summary>
    public sealed class Document : IDisposable
    {
        private readonly DocumentHandle doc;
        private Dictionary<string, object> facts;

        private Document(DocumentHandle handle) { doc = handle; }

        /// <summary>Opens the PDF file at <paramref name="path"/>.</summary>
        /// <param name="path">The file (any characters: passed as UTF-8).</param>
        /// <param name="password">An encrypted file's password, tried as its user and then its owner password; null for none.</param>
        /// <exception cref="LeafturnException">The file cannot be used; the message says why.</exception>
        /// <exception cref="ArgumentNullException">The path is null.</exception>
        public static Document Open(string path, string password = null)
        {
            if (path == null) throw new ArgumentNullException("path");
            byte[] message = new byte[1024];
            DocumentHandle h;
            int status = DocNative.leafturn_doc_open(DocNative.Utf8(path), DocNative.Utf8(password), out h, message,
                                                     (UIntPtr)message.Length);
            return Opened(status, h, message);
        }

        /// <summary>Loads a PDF file from the bytes of a whole file.</summary>
        /// <param name="bytes">The file's bytes (copied).</param>
        /// <param name="name">How messages name it ("(memory)" when null).</param>
        /// <param name="password">An encrypted file's password, or null.</param>
        /// <exception cref="LeafturnException">The bytes cannot be used; the message says why.</exception>
        /// <exception cref="ArgumentNullException">The bytes are null.</exception>
        public static Document FromBytes(byte[] bytes, string name = null, string password = null)
        {
            if (bytes == null) throw new ArgumentNullException("bytes");
            byte[] message = new byte[1024];
            DocumentHandle h;
            int status = DocNative.leafturn_doc_open_bytes(bytes.Length > 0 ? bytes : new byte[1], (UIntPtr)bytes.Length,
                                                           DocNative.Utf8(name), DocNative.Utf8(password), out h,
                                                           message, (UIntPtr)message.Length);
            return Opened(status, h, message);
        }

        private static Document Opened(int status, DocumentHandle h, byte[] message)
        {
            if (status == DocNative.NoMemory) throw new OutOfMemoryException(DocNative.FromUtf8(message));
            if (status != DocNative.Ok) throw new LeafturnException(DocNative.FromUtf8(message));
            return new Document(h);
        }

        private DocumentHandle Live()
        {
            if (doc.IsClosed) throw new ObjectDisposedException("Document");
            return doc;
        }

        private void Check(int status)
        {
            if (status == DocNative.Ok) return;
            string message = DocNative.FromUtf8(DocNative.leafturn_doc_error(doc));
            if (status == DocNative.NoMemory) throw new OutOfMemoryException(message);
            throw new LeafturnException(message);
        }

        /// <summary>The number of pages.</summary>
        public int PageCount
        {
            get
            {
                int n;
                Check(DocNative.leafturn_doc_page_count(Live(), out n));
                return n;
            }
        }

        /// <summary>Page <paramref name="number"/> (from 1) as it stands now.</summary>
        /// <exception cref="LeafturnException">The page is outside the document.</exception>
        public PageFacts Page(int number)
        {
            var p = new NativePage { Size = (UIntPtr)Marshal.SizeOf(typeof(NativePage)) };
            Check(DocNative.leafturn_doc_page_facts(Live(), number, ref p));
            string[] orientations = { null, "portrait", "landscape", "square" };
            return new PageFacts
            {
                Number = p.Number,
                Rotation = p.Rotation,
                OwnRotation = p.OwnRotation < 0 ? (int?)null : p.OwnRotation,
                InheritedRotation = p.InheritedRotation < 0 ? (int?)null : p.InheritedRotation,
                Width = p.BoxKnown != 0 ? p.Width : (double?)null,
                Height = p.BoxKnown != 0 ? p.Height : (double?)null,
                Orientation = p.Orientation >= 0 && p.Orientation < 4 ? orientations[p.Orientation] : null,
                TextDirection = (TextDirection)p.TextDirection,
                Glyphs = p.Glyphs,
            };
        }

        /// <summary>Every page as it stands now, in order.</summary>
        public IReadOnlyList<PageFacts> Pages
        {
            get
            {
                int n = PageCount;
                var list = new List<PageFacts>(n);
                for (int k = 1; k <= n; k++) list.Add(Page(k));
                return list;
            }
        }

        private Dictionary<string, object> Facts()
        {
            if (facts != null) return facts;
            IntPtr json;
            Check(DocNative.leafturn_doc_facts(Live(), out json));
            facts = (Dictionary<string, object>)new Json(DocNative.FromUtf8(json)).Value();
            return facts;
        }

        /// <summary>The document information's text entries by key ("Title", "Author", ...); empty without any.</summary>
        public IDictionary<string, string> Info
        {
            get
            {
                var info = new Dictionary<string, string>();
                var entries = Facts()["info"] as Dictionary<string, object>;
                if (entries != null)
                    foreach (var e in entries) info[e.Key] = (string)e.Value;
                return info;
            }
        }

        /// <summary>How many signatures the file holds.</summary>
        public int Signatures { get { return (int)(double)Facts()["signatures"]; } }

        /// <summary>Whether the file is certified (its certification forbids page changes).</summary>
        public bool Certified { get { return (bool)Facts()["certified"]; } }

        /// <summary>Null when an update can be appended to the file, else why not.</summary>
        public string UpdateRefusal { get { return Facts()["update"] as string; } }

        /// <summary>How the file is encrypted, or null when it is not.</summary>
        public EncryptionFacts Encryption
        {
            get
            {
                var e = Facts()["encryption"] as Dictionary<string, object>;
                if (e == null) return null;
                var perms = new Dictionary<string, bool>();
                foreach (var p in (Dictionary<string, object>)e["permissions"]) perms[p.Key] = (bool)p.Value;
                return new EncryptionFacts
                {
                    Method = (string)e["method"],
                    Revision = (int)(double)e["revision"],
                    KeyBits = (int)(double)e["key_bits"],
                    PasswordNeeded = (bool)e["password_needed"],
                    OpenedWith = e["opened_with"] as string,
                    Permissions = perms,
                };
            }
        }

        private delegate int TurnCall(ref NativePages which, out int changed);

        private int Turn(IEnumerable<int> pages, string list, TurnCall call)
        {
            Live();
            int[] numbers = pages == null ? null : new List<int>(pages).ToArray();
            var which = new NativePages();
            GCHandle pinned = default(GCHandle);
            IntPtr text = IntPtr.Zero;
            try
            {
                if (numbers != null)
                {
                    pinned = GCHandle.Alloc(numbers, GCHandleType.Pinned);
                    which.Numbers = numbers.Length > 0 ? pinned.AddrOfPinnedObject() : IntPtr.Zero;
                    which.Count = numbers.Length;
                    if (numbers.Length == 0) return 0;
                }
                if (list != null)
                {
                    byte[] z = DocNative.Utf8(list);
                    text = Marshal.AllocHGlobal(z.Length);
                    Marshal.Copy(z, 0, text, z.Length);
                    which.List = text;
                }
                int changed;
                Check(call(ref which, out changed));
                return changed;
            }
            finally
            {
                if (pinned.IsAllocated) pinned.Free();
                if (text != IntPtr.Zero) Marshal.FreeHGlobal(text);
            }
        }

        /// <summary>
        /// Turns pages clockwise by <paramref name="degrees"/> (90, 180, 270, -90, -180 or -270) and returns how many
        /// changed. <paramref name="pages"/>: page numbers from 1, or null for every page.
        /// </summary>
        /// <exception cref="LeafturnException">A page is outside the document, or the degrees are not a quarter turn.</exception>
        public int Rotate(int degrees, IEnumerable<int> pages = null)
        {
            return Turn(pages, null, (ref NativePages w, out int c) => DocNative.leafturn_doc_turn_by(doc, degrees, ref w, out c));
        }

        /// <summary>As <see cref="Rotate(int, IEnumerable{int})"/>, the pages chosen by the command line's page grammar ("1-z,x3-5", "odd", "r2-z").</summary>
        public int Rotate(int degrees, string pageList)
        {
            if (pageList == null) throw new ArgumentNullException("pageList");
            return Turn(null, pageList, (ref NativePages w, out int c) => DocNative.leafturn_doc_turn_by(doc, degrees, ref w, out c));
        }

        /// <summary>Every chosen page ends at <paramref name="degrees"/> (0, 90, 180 or 270); returns how many changed.</summary>
        public int RotateTo(int degrees, IEnumerable<int> pages = null)
        {
            return Turn(pages, null, (ref NativePages w, out int c) => DocNative.leafturn_doc_turn_to(doc, degrees, ref w, out c));
        }

        /// <summary>As <see cref="RotateTo(int, IEnumerable{int})"/>, over the page grammar.</summary>
        public int RotateTo(int degrees, string pageList)
        {
            if (pageList == null) throw new ArgumentNullException("pageList");
            return Turn(null, pageList, (ref NativePages w, out int c) => DocNative.leafturn_doc_turn_to(doc, degrees, ref w, out c));
        }

        /// <summary>
        /// Turns every chosen page (null: all) to the rotation that shows its text upright, read from its text layer;
        /// a page whose text has no direction keeps its rotation. Returns how many changed.
        /// </summary>
        public int Upright(IEnumerable<int> pages = null)
        {
            return Turn(pages, null, (ref NativePages w, out int c) => DocNative.leafturn_doc_upright(doc, ref w, out c));
        }

        /// <summary>As <see cref="Upright(IEnumerable{int})"/>, over the page grammar.</summary>
        public int Upright(string pageList)
        {
            if (pageList == null) throw new ArgumentNullException("pageList");
            return Turn(null, pageList, (ref NativePages w, out int c) => DocNative.leafturn_doc_upright(doc, ref w, out c));
        }

        /// <summary>
        /// Writes the document with its turns to <paramref name="path"/> (replaced atomically when it exists, the
        /// input included). <paramref name="force"/> turns a certified file, or an encrypted one whose permissions
        /// forbid it, all the same.
        /// </summary>
        /// <exception cref="LeafturnException">The library refused (an update that cannot be appended, say) or could not write.</exception>
        public void Save(string path, SaveMode mode = SaveMode.Automatic, bool force = false)
        {
            if (path == null) throw new ArgumentNullException("path");
            int wrote;
            Check(DocNative.leafturn_doc_save(Live(), DocNative.Utf8(path), (int)mode, force ? 1 : 0, out wrote));
        }

        /// <summary>The file <see cref="Save"/> would write, as bytes.</summary>
        public byte[] ToBytes(SaveMode mode = SaveMode.Automatic, bool force = false)
        {
            IntPtr bytes;
            UIntPtr len;
            int wrote;
            Check(DocNative.leafturn_doc_save_bytes(Live(), (int)mode, force ? 1 : 0, out bytes, out len, out wrote));
            try
            {
                byte[] copy = new byte[(int)(ulong)len];
                Marshal.Copy(bytes, copy, 0, copy.Length);
                return copy;
            }
            finally
            {
                DocNative.leafturn_doc_free_bytes(bytes);
            }
        }

        /// <summary>Frees the document; it cannot be used afterwards.</summary>
        public void Dispose() { doc.Dispose(); }

        // The little JSON the library's facts are written in: objects,
        // strings, numbers, true, false and null.
        private sealed class Json
        {
            private readonly string s;
            private int i;
            public Json(string text) { s = text; }

            public object Value()
            {
                Space();
                char c = s[i];
                if (c == '{')
                {
                    var o = new Dictionary<string, object>();
                    i++;
                    Space();
                    if (s[i] == '}') { i++; return o; }
                    for (;;)
                    {
                        Space();
                        string key = Text();
                        Space();
                        i++;  // ':'
                        o[key] = Value();
                        Space();
                        if (s[i++] == '}') return o;
                    }
                }
                if (c == '"') return Text();
                if (s.Substring(i).StartsWith("true", StringComparison.Ordinal)) { i += 4; return true; }
                if (s.Substring(i).StartsWith("false", StringComparison.Ordinal)) { i += 5; return false; }
                if (s.Substring(i).StartsWith("null", StringComparison.Ordinal)) { i += 4; return null; }
                int start = i;
                while (i < s.Length && "+-.0123456789eE".IndexOf(s[i]) >= 0) i++;
                return double.Parse(s.Substring(start, i - start), CultureInfo.InvariantCulture);
            }

            private void Space()
            {
                while (i < s.Length && char.IsWhiteSpace(s[i])) i++;
            }

            private string Text()
            {
                var b = new StringBuilder();
                i++;  // '"'
                while (s[i] != '"')
                {
                    char c = s[i++];
                    if (c != '\\') { b.Append(c); continue; }
                    char e = s[i++];
                    switch (e)
                    {
                        case 'n': b.Append('\n'); break;
                        case 't': b.Append('\t'); break;
                        case 'r': b.Append('\r'); break;
                        case 'b': b.Append('\b'); break;
                        case 'f': b.Append('\f'); break;
                        case 'u': b.Append((char)int.Parse(s.Substring(i, 4), NumberStyles.HexNumber, CultureInfo.InvariantCulture)); i += 4; break;
                        default: b.Append(e); break;
                    }
                }
                i++;
                return b.ToString();
            }
        }
    }
}
