// SPDX-License-Identifier: MIT
// Types of the leafturn package.

/** Every failure of the library; its message is the library's own. */
export class LeafturnError extends Error {
  name: 'LeafturnError';
  /**
   * Set for the failures a caller may act on: an encrypted file that needs
   * its password, or a password that does not open it.
   */
  code?: 'LEAFTURN_PASSWORD_NEEDED' | 'LEAFTURN_PASSWORD_WRONG';
}

/** One page as it stands now, turns included. */
export interface Page {
  /** From 1. */
  readonly number: number;
  /** The effective rotation, clockwise: 0, 90, 180 or 270. */
  readonly rotation: number;
  /** The page's own /Rotate as the file has it, or null. */
  readonly ownRotation: number | null;
  /** The rotation it inherits from the page tree, or null. */
  readonly inheritedRotation: number | null;
  /** The displayed size in points (the crop box, else the media box, turned), or null. */
  readonly width: number | null;
  readonly height: number | null;
  readonly orientation: 'portrait' | 'landscape' | 'square' | null;
  /** Which way the page's text runs as displayed now, read from its text layer (no OCR). */
  readonly textDirection: 'up' | 'right' | 'down' | 'left' | 'none';
  /** How many glyphs the page's content shows. */
  readonly glyphs: number;
  /** The images the page shows, in the order drawn. */
  readonly images: ReadonlyArray<PageImage>;
}

/**
 * Which pages: all when absent, a page number, page numbers, or the
 * command line's page list ("1-z,x3-5", "odd", "even", "r2-z").
 */
export type Pages = number | Iterable<number> | string | null | undefined;

export type RotateOptions = (
  | { by: 90 | 180 | 270 | -90 | -180 | -270; to?: undefined }
  | { to: 0 | 90 | 180 | 270; by?: undefined }
) & {
  pages?: Pages;
  /** Keep only these pages among the chosen ones. */
  only?: 'landscape' | 'portrait';
};

export interface SaveOptions {
  /**
   * true: append one update to the input's unchanged bytes; false: write a
   * fresh file. Absent: as the command line decides, a fresh file except
   * for a signed one, which gets an update (see updatesByDefault).
   */
  incremental?: boolean;
  /** Turn a certified file, or an encrypted one whose permissions forbid turning pages, all the same. */
  force?: boolean;
}

/** How a file is encrypted (it stays encrypted when saved). */
export interface Encryption {
  readonly method: 'RC4-40' | 'RC4-128' | 'AES-128' | 'AES-256' | string;
  readonly revision: number;
  readonly keyBits: number;
  /** Its user password is not empty. */
  readonly passwordNeeded: boolean;
  /** The password that opened it, or null when none did. */
  readonly openedWith: 'user' | 'owner' | null;
  /** print, print-high, modify, assemble, annotate, fill-forms, copy, accessibility. */
  readonly permissions: Record<string, boolean>;
}

/** A loaded PDF file with the turns made so far. */
export class Document {
  private constructor();
  readonly pageCount: number;
  readonly pages: Page[];
  /** The document information's text entries by their PDF keys ({} without any). */
  readonly info: Record<string, string>;
  readonly signatures: number;
  readonly certified: boolean;
  /** Null for a file that is not encrypted. */
  readonly encryption: Encryption | null;
  /** Null when an update can be appended to this file, else why not. */
  readonly updateRefusal: string | null;
  /** Whether save() without `incremental` appends an update to this document, as the command line does (a signed one: an update keeps its signatures). */
  readonly updatesByDefault: boolean;
  /** What the last save() wrote ("unchanged": the input's own bytes), or null before any. */
  readonly lastSave: 'update' | 'full' | 'unchanged' | null;
  /** Turns pages in memory; returns how many of them changed. Turns build on each other. */
  rotate(options: RotateOptions): number;
  /** Turns the chosen pages (all when absent) to where their text stands upright; returns how many changed. */
  upright(options?: { pages?: Pages; only?: 'landscape' | 'portrait' }): number;
  /** The document with its turns as the bytes of a PDF file. */
  save(options?: SaveOptions): Uint8Array;
  /** Frees the document's memory. */
  close(): void;
}

export interface OpenOptions {
  /** How messages name the file ("(memory)" when absent). */
  name?: string;
  /** An encrypted file's password, tried as its user and then its owner password. */
  password?: string;
}

/** Loads a PDF file from its bytes. Rejects with a LeafturnError when it cannot be used. */
export function open(bytes: Uint8Array | ArrayBuffer | ArrayBufferView, options?: OpenOptions): Promise<Document>;

export const version: string;

/** An image a page shows. */
export interface PageImage {
  /** The XObject's resource name, or "inline". */
  readonly name: string;
  /** Its object number; null for an inline image. */
  readonly object: number | null;
  /** Pixels. */
  readonly width: number;
  readonly height: number;
  readonly bits: number;
  readonly colors: number;
  readonly colorspace: string | null;
  /** An image mask (a stencil). */
  readonly mask: boolean;
  readonly decode: ReadonlyArray<number> | null;
  /** The last filter of its chain, or null. */
  readonly filter: string | null;
  readonly filters: ReadonlyArray<string>;
  /** Pixels per inch as shown, the lower of dpi_x and dpi_y. */
  readonly dpi: number;
  readonly dpi_x: number;
  readonly dpi_y: number;
  /** The share of the page it covers, 0..1. */
  readonly coverage: number;
  /** The corners of its unit square on the page as displayed, in points. */
  readonly corners: ReadonlyArray<[number, number]>;
}
