// Every failure that comes from earshot or from its process: the message is
// earshot's own "error" text when it wrote one.
export class EarshotError extends Error {
  constructor(message, options) {
    super(message, options);
    this.name = 'EarshotError';
  }
}
